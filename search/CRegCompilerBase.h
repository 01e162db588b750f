#pragma once
// The pattern parser shared by both compile passes. The passes differ only in what emitting
// a node does: the validator counts units, the compiler writes them.

#include "search/CRegProgramAccessor.h"

class CRegCompilerBase : public CRegProgramAccessor
{
public:
    explicit CRegCompilerBase(const char16_t* pattern) : m_pParse(pattern) {}
    virtual ~CRegCompilerBase() = default;
    CRegCompilerBase(const CRegCompilerBase&) = delete;
    CRegCompilerBase& operator=(const CRegCompilerBase&) = delete;

    // Parses the whole pattern; null on a parse error, whose text this object then holds.
    char16_t* ParsePattern(int* pFlags) { return ParseAlternation(false, pFlags); }

protected:
    virtual void EmitChar(char16_t c) = 0;
    virtual char16_t* EmitNode(int op) = 0;
    // Moves the operand node and all after it up by one node and puts op in its place.
    virtual void InsertNode(int op, char16_t* operand) = 0;
    // Points the last node of the chain at target.
    virtual void SetTail(char16_t* chain, char16_t* target) = 0;
    // SetTail on the operand of a Branch node; nothing for other nodes.
    virtual void SetOperandTail(char16_t* node, char16_t* target) = 0;

private:
    char16_t* ParseAlternation(bool group, int* pFlags);
    char16_t* ParseBranch(int* pFlags);
    char16_t* ParsePiece(int* pFlags);
    char16_t* ParseAtom(int* pFlags);
    char16_t* ParseBracket();
    char16_t* ParseLiteral(int* pFlags);

    const char16_t* m_pParse;
    int m_nNextGroup = 1;
};
