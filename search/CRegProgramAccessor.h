#pragma once
// The layout of a compiled regular-expression program and the reads every pass shares.
//
// A program is an array of 16-bit units: unit 0 holds the magic value, the nodes follow.
// A node is three units (opcode, next offset, 0); its operand, if any, follows at node + 3.
// The next offset counts units from the node to the next one, backwards for Back; 0 ends
// the chain. String operands end with a 0 unit.

#include "search/CRegErrorHandler.h"

#include <cstdint>

namespace RegOp {
enum : int
{
    End = 0,     // the attempt succeeds
    AtStart = 1, // empty, only at the start of the subject
    AtEnd = 2,   // empty, only at the end of the subject
    AnyChar = 3, // any one character
    AnyOf = 4,   // one character of the operand string
    AnyBut = 5,  // one character not in the operand string
    Branch = 6,  // one alternative (the operand chain) of a run of Branch nodes
    Back = 7,    // empty; the next offset points backwards and closes a loop
    Literal = 8, // the operand string
    Nothing = 9, // empty
    Star = 10,   // the single-character operand node, zero or more times, greedy
    Plus = 11,   // the single-character operand node, one or more times, greedy
    WordStart = 12,
    WordEnd = 13,
    Open = 20,  // Open + n (n = 1..9) records where group n begins
    Close = 30, // Close + n records where group n ends
};
} // namespace RegOp

// The magic value of unit 0, the longest program and the number of recorded positions
// (the whole match and nine groups).
inline constexpr char16_t kRegMagic = 0xFF9C;
inline constexpr int kRegMaxProgram = 32766;
inline constexpr int kRegSubexpressions = 10;
inline constexpr int kRegNodeSize = 3;

// Flags a parse step answers with.
namespace RegFlag {
enum : int
{
    HasWidth = 1, // cannot match the empty string
    Simple = 2,   // exactly one character, with a single-node form
    SpStart = 4,  // starts with a repetition
};
} // namespace RegFlag

class CRegProgramAccessor : public CRegErrorHandler
{
public:
    static int Op(const char16_t* node) { return node[0]; }
    static int Offset(const char16_t* node) { return static_cast<int16_t>(node[1]); }
    static const char16_t* Operand(const char16_t* node) { return node + kRegNodeSize; }
    static char16_t* Operand(char16_t* node) { return node + kRegNodeSize; }

    // The next node of the chain, or null at its end.
    static const char16_t* Next(const char16_t* node)
    {
        const int offset = Offset(node);
        if (offset == 0)
            return nullptr;
        return Op(node) == RegOp::Back ? node - offset : node + offset;
    }
    static char16_t* Next(char16_t* node)
    {
        return const_cast<char16_t*>(Next(static_cast<const char16_t*>(node)));
    }

    static bool IsWordChar(char16_t c)
    {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               c == u'_';
    }

    // Whether c occurs in a 0-ended operand string (the terminating 0 never counts).
    static bool InSet(const char16_t* set, char16_t c)
    {
        for (; *set; ++set) {
            if (*set == c)
                return true;
        }
        return false;
    }
};
