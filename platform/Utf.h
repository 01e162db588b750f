#pragma once
// Conversions between the core's UTF-16 strings and UTF-8 text at the edges
// (files, the command line, SQLite, the key store).

#include <optional>
#include <string>
#include <string_view>

namespace quarrow {

// UTF-16 to UTF-8. A lone surrogate becomes U+FFFD, so the result is always valid UTF-8.
std::string ToUtf8(std::u16string_view text);

// UTF-8 to UTF-16. Malformed sequences become U+FFFD.
std::u16string FromUtf8(std::string_view text);

// FromUtf8 into a buffer the caller reuses (its contents are replaced).
void AssignFromUtf8(std::u16string& out, std::string_view text);

// The length FromUtf8(text) would have, in UTF-16 units, without building it.
std::size_t Utf16Length(std::string_view text);

// UTF-8 to UTF-16, or nothing when the text is not well-formed UTF-8.
std::optional<std::u16string> FromUtf8Strict(std::string_view text);

// ASCII-only convenience for literals and numbers.
std::u16string FromAscii(std::string_view text);

} // namespace quarrow
