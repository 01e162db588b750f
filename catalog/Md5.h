#pragma once
// MD5 (RFC 1321) of a byte string: what SQL Server's HASHBYTES('MD5', ...) gives, so a digest
// the server computes over its catalogue can be computed again from a snapshot file. Not
// for security.

#include <array>
#include <cstdint>
#include <string_view>

namespace quarrow {

std::array<std::uint8_t, 16> Md5(std::string_view bytes);

} // namespace quarrow
