#include "search/CRegCompilerBase.h"

namespace {

bool IsRepeat(char16_t c)
{
    return c == u'*' || c == u'+' || c == u'?';
}

// Characters that end a literal run after the current one (they start an atom of their own).
bool EndsLiteral(char16_t c)
{
    switch (c) {
    case 0:
    case u'\n':
    case u'$':
    case u'(':
    case u')':
    case u'.':
    case u'[':
    case u'^':
    case u'|':
        return true;
    default:
        return false;
    }
}

} // namespace

char16_t* CRegCompilerBase::ParseAlternation(bool group, int* pFlags)
{
    *pFlags = RegFlag::HasWidth;

    char16_t* result = nullptr;
    int group_no = 0;
    if (group) {
        if (m_nNextGroup >= kRegSubexpressions) {
            SetError(ErrTooManyGroups);
            return nullptr;
        }
        group_no = m_nNextGroup++;
        result = EmitNode(RegOp::Open + group_no);
    }

    int flags = 0;
    char16_t* branch = ParseBranch(&flags);
    if (branch == nullptr)
        return nullptr;
    if (group)
        SetTail(result, branch);
    else
        result = branch;
    if (!(flags & RegFlag::HasWidth))
        *pFlags &= ~RegFlag::HasWidth;
    *pFlags |= flags & RegFlag::SpStart;

    while (*m_pParse == u'|') {
        ++m_pParse;
        branch = ParseBranch(&flags);
        if (branch == nullptr)
            return nullptr;
        SetTail(result, branch);
        if (!(flags & RegFlag::HasWidth))
            *pFlags &= ~RegFlag::HasWidth;
        *pFlags |= flags & RegFlag::SpStart;
    }

    // Every alternative ends at the closing node.
    char16_t* closing = EmitNode(group ? RegOp::Close + group_no : RegOp::End);
    SetTail(result, closing);
    for (char16_t* node = result; node != nullptr; node = Next(node))
        SetOperandTail(node, closing);

    if (group) {
        if (*m_pParse != u')') {
            SetError(ErrUnterminatedGroup);
            return nullptr;
        }
        ++m_pParse;
    } else if (*m_pParse != 0) {
        SetError(*m_pParse == u')' ? ErrUnmatchedGroup : ErrJunkOnEnd);
        return nullptr;
    }
    return result;
}

char16_t* CRegCompilerBase::ParseBranch(int* pFlags)
{
    *pFlags = 0;
    char16_t* result = EmitNode(RegOp::Branch);
    char16_t* previous = nullptr;
    while (*m_pParse != 0 && *m_pParse != u'|' && *m_pParse != u')') {
        int flags = 0;
        char16_t* piece = ParsePiece(&flags);
        if (piece == nullptr)
            return nullptr;
        *pFlags |= flags & RegFlag::HasWidth;
        if (previous == nullptr)
            *pFlags |= flags & RegFlag::SpStart;
        else
            SetTail(previous, piece);
        previous = piece;
    }
    if (previous == nullptr)
        EmitNode(RegOp::Nothing);
    return result;
}

char16_t* CRegCompilerBase::ParsePiece(int* pFlags)
{
    int flags = 0;
    char16_t* atom = ParseAtom(&flags);
    if (atom == nullptr)
        return nullptr;

    const char16_t op = *m_pParse;
    if (!IsRepeat(op)) {
        *pFlags = flags;
        return atom;
    }
    if (!(flags & RegFlag::HasWidth) && op != u'?') {
        SetError(ErrEmptyOperand);
        return nullptr;
    }
    if (op == u'*')
        *pFlags = RegFlag::SpStart;
    else if (op == u'+')
        *pFlags = RegFlag::HasWidth | RegFlag::SpStart;
    else
        *pFlags = 0;

    if (op == u'*' && (flags & RegFlag::Simple)) {
        InsertNode(RegOp::Star, atom);
    } else if (op == u'*') {
        // (atom)* as Branch(atom Back) Branch(Nothing): the loop comes back to the first Branch.
        InsertNode(RegOp::Branch, atom);
        SetOperandTail(atom, EmitNode(RegOp::Back));
        SetOperandTail(atom, atom);
        SetTail(atom, EmitNode(RegOp::Branch));
        SetTail(atom, EmitNode(RegOp::Nothing));
    } else if (op == u'+' && (flags & RegFlag::Simple)) {
        InsertNode(RegOp::Plus, atom);
    } else if (op == u'+') {
        // (atom)+ as atom Branch(Back to atom) Branch(Nothing).
        char16_t* next = EmitNode(RegOp::Branch);
        SetTail(atom, next);
        SetTail(EmitNode(RegOp::Back), atom);
        SetTail(next, EmitNode(RegOp::Branch));
        SetTail(atom, EmitNode(RegOp::Nothing));
    } else {
        // atom? as Branch(atom) Branch(Nothing).
        InsertNode(RegOp::Branch, atom);
        SetTail(atom, EmitNode(RegOp::Branch));
        char16_t* nothing = EmitNode(RegOp::Nothing);
        SetTail(atom, nothing);
        SetOperandTail(atom, nothing);
    }

    ++m_pParse;
    if (IsRepeat(*m_pParse)) {
        SetError(ErrNestedRepeat);
        return nullptr;
    }
    return atom;
}

char16_t* CRegCompilerBase::ParseAtom(int* pFlags)
{
    *pFlags = 0;
    const char16_t c = *m_pParse;
    switch (c) {
    case u'^':
        ++m_pParse;
        return EmitNode(RegOp::AtStart);
    case u'$':
        ++m_pParse;
        return EmitNode(RegOp::AtEnd);
    case u'.':
        ++m_pParse;
        *pFlags = RegFlag::HasWidth | RegFlag::Simple;
        return EmitNode(RegOp::AnyChar);
    case u'(': {
        ++m_pParse;
        int flags = 0;
        char16_t* group = ParseAlternation(true, &flags);
        if (group == nullptr)
            return nullptr;
        *pFlags = flags & (RegFlag::HasWidth | RegFlag::SpStart);
        return group;
    }
    case u'[': {
        ++m_pParse;
        char16_t* set = ParseBracket();
        if (set != nullptr)
            *pFlags = RegFlag::HasWidth | RegFlag::Simple;
        return set;
    }
    case 0:
    case u'|':
    case u')':
        // ParseBranch stops before these.
        SetError(ErrUnexpected);
        return nullptr;
    case u'*':
    case u'+':
    case u'?':
        SetError(ErrRepeatFollowsNothing);
        return nullptr;
    case u'\\':
        if (m_pParse[1] == 0) {
            SetError(ErrTrailingBackslash);
            return nullptr;
        }
        if (m_pParse[1] == u'<' || m_pParse[1] == u'>') {
            const int op = m_pParse[1] == u'<' ? RegOp::WordStart : RegOp::WordEnd;
            m_pParse += 2;
            return EmitNode(op);
        }
        ++m_pParse;
        return ParseLiteral(pFlags);
    default:
        return ParseLiteral(pFlags);
    }
}

char16_t* CRegCompilerBase::ParseBracket()
{
    char16_t* result;
    if (*m_pParse == u'^') {
        result = EmitNode(RegOp::AnyBut);
        ++m_pParse;
    } else {
        result = EmitNode(RegOp::AnyOf);
    }
    if (*m_pParse == u']' || *m_pParse == u'-')
        EmitChar(*m_pParse++);

    bool closed = false;
    while (*m_pParse != 0) {
        const char16_t c = *m_pParse;
        if (c == u']') {
            closed = true;
            break;
        }
        ++m_pParse;
        if (c != u'-') {
            EmitChar(c);
            continue;
        }
        if (*m_pParse == u']' || *m_pParse == 0) {
            EmitChar(u'-');
            continue;
        }
        // x-y: x is the character just before the hyphen as written.
        const unsigned from = m_pParse[-2];
        const unsigned to = *m_pParse;
        if (to < from) {
            SetError(ErrInvalidRange);
            return nullptr;
        }
        for (unsigned u = from + 1; u <= to; ++u)
            EmitChar(static_cast<char16_t>(u));
        ++m_pParse;
    }
    EmitChar(0);
    if (!closed) {
        SetError(ErrUnmatchedBracket);
        return nullptr;
    }
    ++m_pParse;
    return result;
}

char16_t* CRegCompilerBase::ParseLiteral(int* pFlags)
{
    // The parse position stands at the run's first character.
    char16_t* result = EmitNode(RegOp::Literal);
    const char16_t* backOff = nullptr;
    bool everBackedOff = false;
    for (;;) {
        const char16_t ch = *m_pParse++;
        const char16_t next = *m_pParse;
        if (EndsLiteral(next)) {
            EmitChar(ch);
            break;
        }
        if (IsRepeat(next)) {
            // The repetition applies to ch alone: leave ch for the next atom.
            if (backOff != nullptr)
                m_pParse = backOff;
            else
                EmitChar(ch);
            break;
        }
        EmitChar(ch);
        if (next == u'\\') {
            const char16_t escaped = m_pParse[1];
            if (escaped == u'<' || escaped == u'>' || escaped == 0)
                break;
            backOff = m_pParse;
            everBackedOff = true;
            ++m_pParse;
            continue;
        }
        backOff = m_pParse;
        everBackedOff = true;
    }
    EmitChar(0);
    *pFlags = RegFlag::HasWidth | (everBackedOff ? 0 : RegFlag::Simple);
    return result;
}
