#include "search/CRegCompiler.h"

#include <algorithm>

bool CRegCompiler::Room(int units)
{
    if (m_pLimit - m_pOut >= units)
        return true;
    m_bOverflow = true;
    return false;
}

void CRegCompiler::EmitChar(char16_t c)
{
    if (Room(1))
        *m_pOut++ = c;
}

char16_t* CRegCompiler::EmitNode(int op)
{
    // Never write past the array, even if the passes ever disagreed.
    if (!Room(kRegNodeSize))
        return m_spare;
    char16_t* node = m_pOut;
    node[0] = static_cast<char16_t>(op);
    node[1] = 0;
    node[2] = 0;
    m_pOut += kRegNodeSize;
    return node;
}

void CRegCompiler::InsertNode(int op, char16_t* operand)
{
    if (!Room(kRegNodeSize) || operand == m_spare)
        return;
    std::copy_backward(operand, m_pOut, m_pOut + kRegNodeSize);
    m_pOut += kRegNodeSize;
    operand[0] = static_cast<char16_t>(op);
    operand[1] = 0;
    operand[2] = 0;
}

void CRegCompiler::SetTail(char16_t* chain, char16_t* target)
{
    if (chain == nullptr || chain == m_spare || target == m_spare)
        return;
    char16_t* last = chain;
    for (char16_t* next = Next(last); next != nullptr; next = Next(last))
        last = next;
    const long distance = Op(last) == RegOp::Back ? last - target : target - last;
    last[1] = static_cast<char16_t>(static_cast<int16_t>(distance));
}

void CRegCompiler::SetOperandTail(char16_t* node, char16_t* target)
{
    if (node == nullptr || node == m_spare || Op(node) != RegOp::Branch)
        return;
    SetTail(Operand(node), target);
}
