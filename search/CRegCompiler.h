#pragma once
// The second compile pass: parses the pattern again and writes the program into an array
// the first pass sized exactly.

#include "search/CRegCompilerBase.h"

class CRegCompiler : public CRegCompilerBase
{
public:
    // program points at unit 1 of an array with room for units more units.
    CRegCompiler(const char16_t* pattern, char16_t* program, int units)
        : CRegCompilerBase(pattern), m_pOut(program), m_pLimit(program + units)
    {}

    // Where the next unit would go.
    char16_t* GetOutput() const { return m_pOut; }
    // True if the pass ever ran out of room (the two passes disagreed).
    bool Overflowed() const { return m_bOverflow; }

protected:
    void EmitChar(char16_t c) override;
    char16_t* EmitNode(int op) override;
    void InsertNode(int op, char16_t* operand) override;
    void SetTail(char16_t* chain, char16_t* target) override;
    void SetOperandTail(char16_t* node, char16_t* target) override;

private:
    bool Room(int units);

    char16_t* m_pOut;
    char16_t* m_pLimit;
    bool m_bOverflow = false;
    char16_t m_spare[kRegNodeSize] = {RegOp::Nothing, 0, 0};
};
