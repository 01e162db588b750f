// Compiles arbitrary patterns, with and without case-insensitivity, and matches them
// against arbitrary subjects.
//
// Input: one mode byte, then the units. Mode bit 0 set: every following byte is one unit
// (easy to reach ASCII syntax); clear: little-endian byte pairs. The first 0 unit ends the
// pattern, the rest is the subject.

#include "search/CRegCode.h"
#include "search/CRegPattern.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// Patterns that backtrack exponentially are expected; a watchdog stops any match that
// runs past a deadline through the cancel flag, as a search's Stop does.
std::atomic<bool> g_cancel(false);
std::atomic<int64_t> g_deadline(INT64_MAX);

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void StartWatchdog()
{
    static const bool started = [] {
        std::thread([] {
            for (;;) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                if (NowMs() > g_deadline.load())
                    g_cancel.store(true);
            }
        }).detach();
        return true;
    }();
    (void)started;
}

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void Run(const std::u16string& pattern, const std::u16string& subject, bool caseInsensitive)
{
    CRegPattern re(pattern, caseInsensitive);
    re.SetCancelFlag(&g_cancel);
    const bool matched = re.Match(subject);
    Check(matched == false || re.IsCompiled());
    if (!re.IsCompiled()) {
        Check(!re.GetErrorText().empty());
        return;
    }
    const int length = static_cast<int>(std::char_traits<char16_t>::length(subject.c_str()));
    if (matched) {
        Check(re.GetMatchStart(0) >= 0 && re.GetMatchStart(0) <= re.GetMatchEnd(0) &&
              re.GetMatchEnd(0) <= length);
        for (int n = 1; n < 10; ++n) {
            const int start = re.GetMatchStart(n);
            const int end = re.GetMatchEnd(n);
            Check(start >= -1 && start <= length && end >= -1 && end <= length);
        }
    }
    Check(re.GetCode()->GetProgramLength() <= 32766);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    StartWatchdog();
    std::u16string units;
    if (data[0] & 1) {
        units.assign(data + 1, data + size);
    } else {
        for (size_t i = 1; i + 1 < size; i += 2)
            units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
    const size_t split = units.find(u'\0');
    const std::u16string pattern = units.substr(0, split);
    const std::u16string subject = split == std::u16string::npos ? u"" : units.substr(split + 1);

    g_cancel.store(false);
    g_deadline.store(NowMs() + 50);
    Run(pattern, subject, false);
    Run(pattern, subject, true);
    g_deadline.store(INT64_MAX);
    return 0;
}
