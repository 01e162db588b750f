#include "platform/CodePage.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <langinfo.h>

namespace quarrow {

std::string LocaleCharset()
{
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr ? codeset : "";
}

bool IsUtf8Charset(std::string_view charset)
{
    std::string folded;
    for (char c : charset) {
        if (c != '-' && c != '_') {
            folded.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
        }
    }
    return folded == "UTF8";
}

namespace {

// Length of the UTF-8 sequence that starts with this byte (1 for a stray byte).
std::size_t SequenceLength(unsigned char lead)
{
    if (lead >= 0xF0) {
        return 4;
    }
    if (lead >= 0xE0) {
        return 3;
    }
    if (lead >= 0xC0) {
        return 2;
    }
    return 1;
}

// One converter per thread and character set; opening one costs more than a line.
class CConverter
{
public:
    ~CConverter() { Close(); }

    // Null when the character set is unknown to iconv.
    iconv_t Get(const std::string& charset)
    {
        if (m_bOpen && charset == m_strCharset) {
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr); // back to the initial state
            return m_cd;
        }
        Close();
        m_strCharset = charset;
        m_cd = iconv_open(charset.c_str(), "UTF-8");
        m_bOpen = m_cd != reinterpret_cast<iconv_t>(-1);
        return m_bOpen ? m_cd : nullptr;
    }

private:
    void Close()
    {
        if (m_bOpen) {
            iconv_close(m_cd);
        }
        m_bOpen = false;
    }

    std::string m_strCharset;
    iconv_t m_cd{};
    bool m_bOpen = false;
};

} // namespace

std::string Utf8ToCharset(std::string_view utf8, const std::string& charset)
{
    thread_local CConverter converter;
    iconv_t cd = converter.Get(charset.empty() ? std::string("ASCII") : charset);
    std::string out;
    out.reserve(utf8.size());
    if (cd == nullptr) {
        // No converter: plain ASCII, everything else unrepresentable.
        for (std::size_t i = 0; i < utf8.size();) {
            auto lead = static_cast<unsigned char>(utf8[i]);
            out.push_back(lead < 0x80 ? static_cast<char>(lead) : '?');
            i += lead < 0x80 ? 1 : SequenceLength(lead);
        }
        return out;
    }
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc != static_cast<std::size_t>(-1)) {
            continue;
        }
        if (errno == E2BIG) {
            continue;
        }
        // A character the set cannot hold (or a broken tail): one '?' in its place.
        out.push_back('?');
        std::size_t skip = std::min(inLeft, SequenceLength(static_cast<unsigned char>(*in)));
        in += skip;
        inLeft -= skip;
    }
    // Flush any shift state the target set keeps.
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    return out;
}

} // namespace quarrow
