#include "search/CRegValidator.h"

namespace {
// Far above any program we accept, far below overflow.
constexpr int kLengthCeiling = 1 << 30;
} // namespace

void CRegValidator::Count(int units)
{
    if (m_nLength < kLengthCeiling)
        m_nLength += units;
}

void CRegValidator::EmitChar(char16_t)
{
    Count(1);
}

char16_t* CRegValidator::EmitNode(int)
{
    Count(kRegNodeSize);
    return m_dummy;
}

void CRegValidator::InsertNode(int, char16_t*)
{
    Count(kRegNodeSize);
}

void CRegValidator::SetTail(char16_t*, char16_t*) {}

void CRegValidator::SetOperandTail(char16_t*, char16_t*) {}
