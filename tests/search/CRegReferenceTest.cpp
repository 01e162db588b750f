// The engine against a deliberately plain reference: a recursive-descent parser to a tree
// and a continuation-passing backtracker, on generated patterns and subjects.

#include "search/CRegCode.h"
#include "search/CRegPattern.h"

#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

struct SRefAlt;

struct SRefAtom
{
    enum EKind
    {
        Char,
        Any,
        Set,
        Bol,
        Eol,
        WordB,
        WordE,
        Group
    } eKind = Char;
    char16_t ch = 0;
    std::vector<bool> members; // Set: 65536 flags
    bool bNegated = false;
    int nGroup = 0;
    std::shared_ptr<SRefAlt> pSub;
};

struct SRefPiece
{
    SRefAtom atom;
    char16_t op = 0; // 0, '*', '+' or '?'
};

struct SRefAlt
{
    std::vector<std::vector<SRefPiece>> branches;
};

class CRefParser
{
public:
    explicit CRefParser(const std::u16string& s) : m_s(s) {}

    // Error code as the engine's table numbers them, 0 for success.
    int Parse(SRefAlt& out)
    {
        bool width = false;
        ParseAlt(false, out, width);
        return m_nError;
    }

private:
    char16_t Peek(size_t k = 0) const { return m_i + k < m_s.size() ? m_s[m_i + k] : 0; }
    bool Fail(int code)
    {
        if (m_nError == 0)
            m_nError = code;
        return false;
    }
    static bool IsRepeat(char16_t c) { return c == u'*' || c == u'+' || c == u'?'; }

    bool ParseAlt(bool group, SRefAlt& alt, bool& width)
    {
        width = true;
        for (;;) {
            std::vector<SRefPiece> branch;
            bool w = false;
            if (!ParseBranch(branch, w))
                return false;
            width = width && w;
            alt.branches.push_back(std::move(branch));
            if (Peek() != u'|')
                break;
            ++m_i;
        }
        if (group) {
            if (Peek() != u')')
                return Fail(13);
            ++m_i;
        } else if (Peek() != 0) {
            return Fail(Peek() == u')' ? 14 : 15);
        }
        return true;
    }

    bool ParseBranch(std::vector<SRefPiece>& branch, bool& width)
    {
        width = false;
        while (Peek() != 0 && Peek() != u'|' && Peek() != u')') {
            SRefPiece piece;
            bool w = false;
            if (!ParseAtom(piece.atom, w))
                return false;
            if (IsRepeat(Peek())) {
                piece.op = Peek();
                if (!w && piece.op != u'?')
                    return Fail(16);
                w = piece.op == u'+';
                ++m_i;
                if (IsRepeat(Peek()))
                    return Fail(17);
            }
            width = width || w;
            branch.push_back(std::move(piece));
        }
        return true;
    }

    bool ParseAtom(SRefAtom& atom, bool& width)
    {
        width = false;
        const char16_t c = Peek();
        ++m_i;
        switch (c) {
        case u'^':
            atom.eKind = SRefAtom::Bol;
            return true;
        case u'$':
            atom.eKind = SRefAtom::Eol;
            return true;
        case u'.':
            atom.eKind = SRefAtom::Any;
            width = true;
            return true;
        case u'(':
            if (m_nNextGroup > 9)
                return Fail(12);
            atom.eKind = SRefAtom::Group;
            atom.nGroup = m_nNextGroup++;
            atom.pSub = std::make_shared<SRefAlt>();
            return ParseAlt(true, *atom.pSub, width);
        case u'[':
            width = true;
            return ParseSet(atom);
        case u'*':
        case u'+':
        case u'?':
            return Fail(21);
        case u'\\':
            if (Peek() == 0)
                return Fail(22);
            if (Peek() == u'<' || Peek() == u'>') {
                atom.eKind = Peek() == u'<' ? SRefAtom::WordB : SRefAtom::WordE;
                ++m_i;
                return true;
            }
            atom.ch = Peek();
            ++m_i;
            width = true;
            return true;
        default:
            atom.ch = c;
            width = true;
            return true;
        }
    }

    bool ParseSet(SRefAtom& atom)
    {
        atom.eKind = SRefAtom::Set;
        atom.members.assign(65536, false);
        if (Peek() == u'^') {
            atom.bNegated = true;
            ++m_i;
        }
        if (Peek() == u']' || Peek() == u'-')
            atom.members[m_s[m_i++]] = true;
        while (Peek() != 0 && Peek() != u']') {
            const char16_t c = m_s[m_i++];
            if (c != u'-') {
                atom.members[c] = true;
            } else if (Peek() == u']' || Peek() == 0) {
                atom.members[u'-'] = true;
            } else {
                const unsigned from = m_s[m_i - 2];
                const unsigned to = m_s[m_i];
                if (to < from)
                    return Fail(18);
                for (unsigned u = from; u <= to; ++u)
                    atom.members[u] = true;
                ++m_i;
            }
        }
        if (Peek() != u']')
            return Fail(19);
        ++m_i;
        return true;
    }

    const std::u16string& m_s;
    size_t m_i = 0;
    int m_nNextGroup = 1;
    int m_nError = 0;
};

using Cont = std::function<bool(size_t)>;

class CRefMatcher
{
public:
    CRefMatcher(const SRefAlt& re, const std::u16string& s) : m_re(re), m_s(s) {}

    bool Search()
    {
        for (size_t p = 0; p <= m_s.size(); ++p) {
            m_start.fill(-1);
            m_end.fill(-1);
            if (Alt(m_re, p, [&](size_t q) {
                    m_end[0] = static_cast<int>(q);
                    return true;
                })) {
                m_start[0] = static_cast<int>(p);
                return true;
            }
        }
        return false;
    }

    std::array<int, 10> m_start{};
    std::array<int, 10> m_end{};

private:
    char16_t At(size_t p) const { return p < m_s.size() ? m_s[p] : 0; }
    static bool IsWord(char16_t c)
    {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               c == u'_';
    }

    bool Alt(const SRefAlt& alt, size_t p, const Cont& k)
    {
        for (const auto& branch : alt.branches) {
            if (Seq(branch, 0, p, k))
                return true;
        }
        return false;
    }

    bool Seq(const std::vector<SRefPiece>& seq, size_t i, size_t p, const Cont& k)
    {
        if (i == seq.size())
            return k(p);
        return Piece(seq[i], p, [&](size_t q) { return Seq(seq, i + 1, q, k); });
    }

    bool Star(const SRefAtom& atom, size_t p, const Cont& k)
    {
        return Atom(atom, p, [&](size_t q) { return Star(atom, q, k); }) || k(p);
    }

    bool Piece(const SRefPiece& piece, size_t p, const Cont& k)
    {
        switch (piece.op) {
        case u'*':
            return Star(piece.atom, p, k);
        case u'+':
            return Atom(piece.atom, p, [&](size_t q) { return Star(piece.atom, q, k); });
        case u'?':
            return Atom(piece.atom, p, k) || k(p);
        default:
            return Atom(piece.atom, p, k);
        }
    }

    bool Atom(const SRefAtom& a, size_t p, const Cont& k)
    {
        const bool more = p < m_s.size();
        switch (a.eKind) {
        case SRefAtom::Char:
            return more && m_s[p] == a.ch && k(p + 1);
        case SRefAtom::Any:
            return more && k(p + 1);
        case SRefAtom::Set:
            return more && a.members[m_s[p]] != a.bNegated && k(p + 1);
        case SRefAtom::Bol:
            return p == 0 && k(p);
        case SRefAtom::Eol:
            return !more && k(p);
        case SRefAtom::WordB:
            return IsWord(At(p)) && (p == 0 || !IsWord(m_s[p - 1])) && k(p);
        case SRefAtom::WordE:
            return !IsWord(At(p)) && k(p);
        case SRefAtom::Group: {
            const int n = a.nGroup;
            // A group's positions are those of its last pass on the way to the end.
            const bool ok = Alt(*a.pSub, p, [&](size_t q) {
                if (!k(q))
                    return false;
                if (m_end[n] < 0)
                    m_end[n] = static_cast<int>(q);
                return true;
            });
            if (ok && m_start[n] < 0)
                m_start[n] = static_cast<int>(p);
            return ok;
        }
        }
        return false;
    }

    const SRefAlt& m_re;
    const std::u16string& m_s;
};

// Generated patterns: mostly well-formed pieces, with some noise to reach the errors.
class CPatternGenerator
{
public:
    explicit CPatternGenerator(unsigned seed) : m_rng(seed) {}

    std::u16string Pattern()
    {
        if (Pick(8) == 0)
            return Noise();
        m_nGroups = 0;
        return Alternation(0);
    }

    std::u16string Subject()
    {
        static const char16_t alphabet[] = u"aabbc_ .-]\\";
        const size_t n = Pick(10);
        std::u16string s;
        for (size_t i = 0; i < n; ++i)
            s += alphabet[Pick(sizeof(alphabet) / sizeof(char16_t) - 1)];
        return s;
    }

private:
    size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_rng); }

    std::u16string Noise()
    {
        static const char16_t alphabet[] = u"ab()|*+?[]^$.\\-<>";
        std::u16string s;
        const size_t n = 1 + Pick(8);
        for (size_t i = 0; i < n; ++i)
            s += alphabet[Pick(sizeof(alphabet) / sizeof(char16_t) - 1)];
        return s;
    }

    std::u16string Alternation(int depth)
    {
        std::u16string s = Branch(depth);
        while (Pick(4) == 0)
            s += u"|" + Branch(depth);
        return s;
    }

    std::u16string Branch(int depth)
    {
        std::u16string s;
        const size_t n = Pick(5);
        for (size_t i = 0; i < n; ++i) {
            s += Atom(depth);
            switch (Pick(7)) {
            case 0:
                s += u'*';
                break;
            case 1:
                s += u'+';
                break;
            case 2:
                s += u'?';
                break;
            default:
                break;
            }
        }
        return s;
    }

    std::u16string Atom(int depth)
    {
        static const char16_t* sets[] = {u"[ab]", u"[^a]",  u"[a-c]", u"[]a]",
                                         u"[-b]", u"[_ .]", u"[^]b]"};
        switch (Pick(14)) {
        case 0:
            return u".";
        case 1:
            return sets[Pick(std::size(sets))];
        case 2:
            return Pick(2) ? u"^" : u"$";
        case 3:
            return Pick(2) ? u"\\<" : u"\\>";
        case 4:
            return Pick(2) ? u"\\." : u"\\a";
        case 5:
        case 6:
            if (depth < 3 && m_nGroups < 10) {
                ++m_nGroups;
                return u"(" + Alternation(depth + 1) + u")";
            }
            return u"b";
        case 7:
            return u"_";
        case 8:
            return u"c";
        default:
            return Pick(2) ? u"a" : u"b";
        }
    }

    std::mt19937 m_rng;
    int m_nGroups = 0;
};

std::string Narrow(const std::u16string& s)
{
    return std::string(s.begin(), s.end());
}

TEST(CRegReferenceTest, EngineAgreesWithTheReference)
{
    CPatternGenerator gen(20240515u);
    int compiled = 0;
    int matched = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::u16string pattern = gen.Pattern();
        SRefAlt re;
        const int refError = CRefParser(pattern).Parse(re);
        CRegPattern engine(pattern, false);
        ASSERT_EQ(engine.IsCompiled(), refError == 0) << Narrow(pattern);
        if (refError != 0) {
            EXPECT_EQ(engine.GetCode()->GetErrorCode(), refError) << Narrow(pattern);
            continue;
        }
        ++compiled;
        for (int j = 0; j < 12; ++j) {
            const std::u16string subject = gen.Subject();
            CRefMatcher ref(re, subject);
            const bool expected = ref.Search();
            ASSERT_EQ(engine.Match(subject), expected)
                << "pattern " << Narrow(pattern) << " subject " << Narrow(subject);
            if (!expected)
                continue;
            ++matched;
            for (int n = 0; n < 10; ++n) {
                ASSERT_EQ(engine.GetMatchStart(n), ref.m_start[n])
                    << "pattern " << Narrow(pattern) << " subject " << Narrow(subject) << " group "
                    << n;
                ASSERT_EQ(engine.GetMatchEnd(n), ref.m_end[n])
                    << "pattern " << Narrow(pattern) << " subject " << Narrow(subject) << " group "
                    << n;
            }
        }
    }
    // The generator must exercise both outcomes.
    EXPECT_GT(compiled, 1000);
    EXPECT_GT(matched, 3000);
}

TEST(CRegReferenceTest, CaseInsensitiveIsTheRewrittenPattern)
{
    CPatternGenerator gen(77u);
    for (int i = 0; i < 500; ++i) {
        const std::u16string pattern = gen.Pattern();
        CRegPattern folded(pattern, true);
        CRegPattern rewritten(CRegPattern::RewriteCaseInsensitive(pattern), false);
        ASSERT_EQ(folded.IsCompiled(), rewritten.IsCompiled()) << Narrow(pattern);
        for (int j = 0; j < 5; ++j) {
            std::u16string subject = gen.Subject();
            if (j % 2)
                for (char16_t& c : subject)
                    c = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
            ASSERT_EQ(folded.Match(subject), rewritten.Match(subject)) << Narrow(pattern);
            ASSERT_EQ(folded.GetMatchEnd(), rewritten.GetMatchEnd()) << Narrow(pattern);
        }
    }
}

} // namespace
