#pragma once
// 8-bit text in a character set, for files written for other programs (exports, scripts
// opened in an editor). Characters the set cannot hold become '?'.

#include <string>
#include <string_view>

namespace quarrow {

// The locale's character set (nl_langinfo(CODESET)); empty when it cannot be had.
std::string LocaleCharset();

// True for the names of UTF-8 ("UTF-8", "utf8", ...).
bool IsUtf8Charset(std::string_view charset);

// UTF-8 text converted to the character set; an empty or unknown set gives ASCII. Each
// character the set cannot hold becomes one '?'.
std::string Utf8ToCharset(std::string_view utf8, const std::string& charset);

} // namespace quarrow
