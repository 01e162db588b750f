#pragma once
// Finds where an attempt to match can possibly succeed, so the matcher skips the positions
// at which the program's first character-consuming node must fail anyway. The answers never
// change: it only skips attempts that would have failed.

#include <cstddef>

class CRegScanner
{
public:
    enum class EKind
    {
        Any,     // every position is a candidate
        Literal, // the subject continues with a string there
        Units,   // the character there is one of a few units
        Range,   // the character there lies in a range of units
    };

    // Studies the program from its first node (unit 1).
    void Build(const char16_t* firstNode);

    EKind GetKind() const { return m_eKind; }

    // The first candidate at or after p and before end, or null.
    const char16_t* Find(const char16_t* p, const char16_t* end) const;

    // The first occurrence of c in [p, end), or null.
    static const char16_t* FindUnit(const char16_t* p, const char16_t* end, char16_t c);
    // The first occurrence of the string s (n units, n > 0) in [p, end), or null.
    static const char16_t* FindString(const char16_t* p, const char16_t* end, const char16_t* s,
                                      size_t n);
    // The first unit in [p, end) that is one of units[0..n), n from 1 to kMaxUnits.
    static const char16_t* FindUnits(const char16_t* p, const char16_t* end, const char16_t* units,
                                     int n);
    // The first unit in [p, end) whose value lies from lo to hi.
    static const char16_t* FindRange(const char16_t* p, const char16_t* end, char16_t lo,
                                     char16_t hi);

    static constexpr int kMaxUnits = 8;

private:
    struct SFirst
    {
        bool bKnown = false;
        int nUnits = 0;
        char16_t units[kMaxUnits] = {};
    };
    static bool AddUnit(SFirst& first, char16_t c);
    static SFirst FirstOf(const char16_t* node, int depth);

    EKind m_eKind = EKind::Any;
    const char16_t* m_pLiteral = nullptr;
    size_t m_nLiteral = 0;
    int m_nUnits = 0;
    char16_t m_units[kMaxUnits] = {};
    char16_t m_chLow = 0;
    char16_t m_chHigh = 0;
};
