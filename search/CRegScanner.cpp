#include "search/CRegScanner.h"

#include "search/CRegProgramAccessor.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Zero-width nodes that leave the position where it is; an attempt goes past them to the
// node that consumes the first character.
bool IsZeroWidth(int op)
{
    return op == RegOp::WordStart || op == RegOp::WordEnd || op == RegOp::Nothing ||
           (op > RegOp::Open && op < RegOp::Open + kRegSubexpressions) ||
           (op > RegOp::Close && op < RegOp::Close + kRegSubexpressions);
}

constexpr int kMaxDepth = 12;

#if defined(__SSE2__)
inline int FirstBit(unsigned mask)
{
    return __builtin_ctz(mask) / 2;
}

template <int N>
const char16_t* FindUnitsN(const char16_t* p, const char16_t* end, const char16_t* units)
{
    __m128i needles[N];
    for (int i = 0; i < N; ++i)
        needles[i] = _mm_set1_epi16(static_cast<short>(units[i]));
    for (; end - p >= 8; p += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i hit = _mm_cmpeq_epi16(v, needles[0]);
        for (int i = 1; i < N; ++i)
            hit = _mm_or_si128(hit, _mm_cmpeq_epi16(v, needles[i]));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask != 0)
            return p + FirstBit(mask);
    }
    for (; p < end; ++p) {
        for (int i = 0; i < N; ++i) {
            if (*p == units[i])
                return p;
        }
    }
    return nullptr;
}
#else
template <int N>
const char16_t* FindUnitsN(const char16_t* p, const char16_t* end, const char16_t* units)
{
    for (; p < end; ++p) {
        for (int i = 0; i < N; ++i) {
            if (*p == units[i])
                return p;
        }
    }
    return nullptr;
}
#endif

} // namespace

const char16_t* CRegScanner::FindUnit(const char16_t* p, const char16_t* end, char16_t c)
{
    return FindUnitsN<1>(p, end, &c);
}

const char16_t* CRegScanner::FindUnits(const char16_t* p, const char16_t* end,
                                       const char16_t* units, int n)
{
    switch (n) {
    case 1:
        return FindUnitsN<1>(p, end, units);
    case 2:
        return FindUnitsN<2>(p, end, units);
    case 3:
        return FindUnitsN<3>(p, end, units);
    case 4:
        return FindUnitsN<4>(p, end, units);
    case 5:
        return FindUnitsN<5>(p, end, units);
    case 6:
        return FindUnitsN<6>(p, end, units);
    case 7:
        return FindUnitsN<7>(p, end, units);
    default:
        return FindUnitsN<8>(p, end, units);
    }
}

const char16_t* CRegScanner::FindRange(const char16_t* p, const char16_t* end, char16_t lo,
                                       char16_t hi)
{
    const unsigned span = static_cast<unsigned>(hi - lo);
#if defined(__SSE2__)
    const __m128i low = _mm_set1_epi16(static_cast<short>(lo));
    const __m128i width = _mm_set1_epi16(static_cast<short>(span));
    const __m128i zero = _mm_setzero_si128();
    for (; end - p >= 8; p += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // v - lo <= span, unsigned: the saturating difference is zero.
        const __m128i over = _mm_subs_epu16(_mm_sub_epi16(v, low), width);
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(over, zero)));
        if (mask != 0)
            return p + FirstBit(mask);
    }
#endif
    for (; p < end; ++p) {
        if (static_cast<unsigned>(static_cast<char16_t>(*p - lo)) <= span)
            return p;
    }
    return nullptr;
}

const char16_t* CRegScanner::FindString(const char16_t* p, const char16_t* end, const char16_t* s,
                                        size_t n)
{
    if (n == 0)
        return p;
    if (static_cast<size_t>(end - p) < n)
        return nullptr;
    const char16_t* last = end - n + 1; // candidates lie before last
    if (n == 1)
        return FindUnit(p, last, s[0]);
#if defined(__SSE2__)
    // Look for the first and last units together; compare the rest only where both sit.
    const __m128i first = _mm_set1_epi16(static_cast<short>(s[0]));
    const __m128i tail = _mm_set1_epi16(static_cast<short>(s[n - 1]));
    for (; last - p >= 8; p += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n - 1));
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(a, first), _mm_cmpeq_epi16(b, tail))));
        while (mask != 0) {
            const int i = FirstBit(mask);
            if (std::memcmp(p + i + 1, s + 1, (n - 2) * sizeof(char16_t)) == 0)
                return p + i;
            mask &= ~(3u << (2 * i));
        }
    }
#endif
    for (; p < last; ++p) {
        if (*p == s[0] && std::memcmp(p + 1, s + 1, (n - 1) * sizeof(char16_t)) == 0)
            return p;
    }
    return nullptr;
}

bool CRegScanner::AddUnit(SFirst& first, char16_t c)
{
    for (int i = 0; i < first.nUnits; ++i) {
        if (first.units[i] == c)
            return true;
    }
    if (first.nUnits == kMaxUnits)
        return false;
    first.units[first.nUnits++] = c;
    return true;
}

// The units the first consumed character must be one of, when a few and known.
CRegScanner::SFirst CRegScanner::FirstOf(const char16_t* node, int depth)
{
    SFirst first;
    if (depth > kMaxDepth)
        return first;
    for (int steps = 0; node != nullptr && IsZeroWidth(CRegProgramAccessor::Op(node)); ++steps) {
        if (steps > kRegMaxProgram)
            return first;
        node = CRegProgramAccessor::Next(node);
    }
    if (node == nullptr)
        return first;

    const int op = CRegProgramAccessor::Op(node);
    const char16_t* operand = CRegProgramAccessor::Operand(node);
    if (op == RegOp::Plus) {
        const int inner = CRegProgramAccessor::Op(operand);
        if (inner != RegOp::Literal && inner != RegOp::AnyOf)
            return first;
        return FirstOf(operand, depth + 1);
    }
    if (op == RegOp::Literal) {
        if (operand[0] == 0)
            return first;
        first.bKnown = true;
        first.nUnits = 1;
        first.units[0] = operand[0];
        return first;
    }
    if (op == RegOp::AnyOf) {
        for (const char16_t* u = operand; *u; ++u) {
            if (!AddUnit(first, *u))
                return SFirst();
        }
        first.bKnown = first.nUnits > 0;
        return first;
    }
    if (op == RegOp::Branch) {
        const char16_t* next = CRegProgramAccessor::Next(node);
        if (next == nullptr || CRegProgramAccessor::Op(next) != RegOp::Branch)
            return FirstOf(operand, depth + 1);
        // Every alternative of the choice.
        for (const char16_t* alt = node;
             alt != nullptr && CRegProgramAccessor::Op(alt) == RegOp::Branch;
             alt = CRegProgramAccessor::Next(alt)) {
            const SFirst one = FirstOf(CRegProgramAccessor::Operand(alt), depth + 1);
            if (!one.bKnown)
                return SFirst();
            for (int i = 0; i < one.nUnits; ++i) {
                if (!AddUnit(first, one.units[i]))
                    return SFirst();
            }
        }
        first.bKnown = first.nUnits > 0;
        return first;
    }
    return first;
}

void CRegScanner::Build(const char16_t* firstNode)
{
    m_eKind = EKind::Any;
    if (firstNode == nullptr)
        return;

    // A single alternative that starts, after zero-width nodes, with a string or a set.
    const char16_t* node = firstNode;
    if (CRegProgramAccessor::Op(node) == RegOp::Branch) {
        const char16_t* next = CRegProgramAccessor::Next(node);
        if (next != nullptr && CRegProgramAccessor::Op(next) != RegOp::Branch) {
            node = CRegProgramAccessor::Operand(node);
            for (int steps = 0; node != nullptr && IsZeroWidth(CRegProgramAccessor::Op(node));
                 ++steps) {
                if (steps > kRegMaxProgram)
                    return;
                node = CRegProgramAccessor::Next(node);
            }
            if (node != nullptr && CRegProgramAccessor::Op(node) == RegOp::Literal &&
                CRegProgramAccessor::Operand(node)[0] != 0) {
                m_pLiteral = CRegProgramAccessor::Operand(node);
                m_nLiteral = std::char_traits<char16_t>::length(m_pLiteral);
                m_eKind = EKind::Literal;
                return;
            }
            if (node != nullptr &&
                (CRegProgramAccessor::Op(node) == RegOp::AnyOf ||
                 (CRegProgramAccessor::Op(node) == RegOp::Plus &&
                  CRegProgramAccessor::Op(CRegProgramAccessor::Operand(node)) == RegOp::AnyOf))) {
                const char16_t* set = CRegProgramAccessor::Operand(node);
                if (CRegProgramAccessor::Op(node) == RegOp::Plus)
                    set = CRegProgramAccessor::Operand(set);
                // A set whose members form one run of units, like 0-9.
                std::vector<char16_t> members(set, set + std::char_traits<char16_t>::length(set));
                std::sort(members.begin(), members.end());
                members.erase(std::unique(members.begin(), members.end()), members.end());
                if (members.size() > static_cast<size_t>(kMaxUnits) &&
                    static_cast<size_t>(members.back() - members.front()) + 1 == members.size()) {
                    m_chLow = members.front();
                    m_chHigh = members.back();
                    m_eKind = EKind::Range;
                    return;
                }
            }
        }
    }

    const SFirst first = FirstOf(firstNode, 0);
    if (first.bKnown) {
        m_nUnits = first.nUnits;
        std::copy(first.units, first.units + first.nUnits, m_units);
        m_eKind = EKind::Units;
    }
}

const char16_t* CRegScanner::Find(const char16_t* p, const char16_t* end) const
{
    switch (m_eKind) {
    case EKind::Literal:
        return FindString(p, end, m_pLiteral, m_nLiteral);
    case EKind::Units:
        return FindUnits(p, end, m_units, m_nUnits);
    case EKind::Range:
        return FindRange(p, end, m_chLow, m_chHigh);
    case EKind::Any:
        break;
    }
    return p <= end ? p : nullptr;
}
