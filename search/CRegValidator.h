#pragma once
// The first compile pass: parses the pattern and counts the program's units.

#include "search/CRegCompilerBase.h"

class CRegValidator : public CRegCompilerBase
{
public:
    explicit CRegValidator(const char16_t* pattern) : CRegCompilerBase(pattern) {}

    // Units the program needs, unit 0 included; saturates far above the limit.
    int GetLength() const { return m_nLength; }

protected:
    void EmitChar(char16_t c) override;
    char16_t* EmitNode(int op) override;
    void InsertNode(int op, char16_t* operand) override;
    void SetTail(char16_t* chain, char16_t* target) override;
    void SetOperandTail(char16_t* node, char16_t* target) override;

private:
    void Count(int units);

    int m_nLength = 1;
    char16_t m_dummy[kRegNodeSize] = {RegOp::Nothing, 0, 0};
};
