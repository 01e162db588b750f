#include "platform/Utf.h"

#include <cstdint>
#include <cstring>

namespace quarrow {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, char32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

// Decodes one UTF-8 sequence at text[i]; advances i. Returns nothing on a malformed one
// (i then moves past the offending lead byte only).
std::optional<char32_t> DecodeOne(std::string_view text, size_t& i)
{
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return std::nullopt;
    }
    if (i + len > text.size()) {
        ++i;
        return std::nullopt;
    }
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return std::nullopt;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return std::nullopt;
    }
    i += len;
    return cp;
}

// The number of leading bytes below 0x80, eight at a time.
size_t AsciiPrefix(std::string_view text)
{
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, sizeof word);
        if ((word & 0x8080808080808080ULL) != 0) {
            break;
        }
    }
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) {
        ++i;
    }
    return i;
}

} // namespace

std::string ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                ++i;
            } else {
                cp = kReplacement;
            }
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::u16string FromUtf8(std::string_view text)
{
    std::u16string out;
    AssignFromUtf8(out, text);
    return out;
}

void AssignFromUtf8(std::u16string& out, std::string_view text)
{
    // Scripts are mostly ASCII: that part is widened without decoding.
    const size_t ascii = AsciiPrefix(text);
    out.resize(ascii);
    for (size_t i = 0; i < ascii; ++i) {
        out[i] = static_cast<unsigned char>(text[i]);
    }
    out.reserve(text.size());
    for (size_t i = ascii; i < text.size();) {
        const auto cp = DecodeOne(text, i);
        AppendUtf16(out, cp.value_or(kReplacement));
    }
}

std::size_t Utf16Length(std::string_view text)
{
    // Counted with the decoder itself, so a malformed byte counts as its U+FFFD does.
    size_t length = AsciiPrefix(text);
    for (size_t i = length; i < text.size();) {
        const auto cp = DecodeOne(text, i);
        length += cp && *cp >= 0x10000 ? 2 : 1;
    }
    return length;
}

std::optional<std::u16string> FromUtf8Strict(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto cp = DecodeOne(text, i);
        if (!cp) {
            return std::nullopt;
        }
        AppendUtf16(out, *cp);
    }
    return out;
}

std::u16string FromAscii(std::string_view text)
{
    return std::u16string(text.begin(), text.end());
}

} // namespace quarrow
