// The settings file's text form on arbitrary bytes: what reads must write back and read again
// as the same tree, and a text that does not read must leave the tree as it was.
//
// Input: the bytes of a ".reg" file.

#include "platform/CKeyTree.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// Keys nested deeper than the registry allows are refused by the store; a text deeper than
// that only measures the quadratic size of the written form, so it is not worth a run.
constexpr std::size_t kMaxDepth = 512;

void Fail(const char* what)
{
    std::fprintf(stderr, "reg_fuzz invariant broken: %s\n", what);
    std::abort();
}

void Check(bool condition, const char* what)
{
    if (!condition)
        Fail(what);
}

bool TooDeep(std::string_view text)
{
    std::size_t depth = 0;
    bool keyLine = false;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart)
            keyLine = c == '[';
        lineStart = c == '\n';
        if (lineStart)
            depth = 0;
        else if (keyLine && c == '\\' && ++depth > kMaxDepth)
            return true;
    }
    return false;
}

// Walks both trees side by side without recursion.
bool SameTree(const CKeyTree& a, const CKeyTree& b)
{
    if (a.GetRoot() != b.GetRoot())
        return false;
    std::vector<std::pair<const CKeyTree::SNode*, const CKeyTree::SNode*>> pending{
        {&a.Root(), &b.Root()}};
    while (!pending.empty()) {
        const auto [x, y] = pending.back();
        pending.pop_back();
        if (x->m_strName != y->m_strName || x->m_values != y->m_values ||
            x->m_children.size() != y->m_children.size())
            return false;
        auto i = x->m_children.begin();
        auto j = y->m_children.begin();
        for (; i != x->m_children.end(); ++i, ++j) {
            if (i->first != j->first || !i->second || !j->second)
                return false;
            pending.emplace_back(i->second.get(), j->second.get());
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (TooDeep(text))
        return 0;

    CKeyTree first(u"Quarrow");
    first.SetValue(u"Before", SRegValue{u"Kept", ERegType::Dword, u"", 7, ""});
    const std::string before = first.Serialize();
    std::string error;
    if (!first.Parse(text, error)) {
        Check(!error.empty(), "a refused text without a reason");
        Check(first.Serialize() == before, "a refused text changed the tree");
        return 0;
    }

    const std::string written = first.Serialize();
    CKeyTree second(u"Quarrow");
    if (!second.Parse(written, error)) {
        std::fprintf(stderr, "reg_fuzz: the written text does not read back: %s\n", error.c_str());
        Fail("written text refused");
    }
    Check(SameTree(first, second), "the tree read back differs");
    Check(second.Serialize() == written, "the second write differs from the first");
    Check(first.CountKeys() == second.CountKeys(), "key counts differ");
    return 0;
}
