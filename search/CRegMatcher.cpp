#include "search/CRegMatcher.h"

#include "search/CRegCode.h"

#include <string>

CRegMatcher::CRegMatcher(CRegCode& code, const char16_t* subject, const char16_t* end,
                         const std::atomic<bool>* pCancel)
    : m_pBol(subject), m_pEnd(end), m_pStartp(code.m_startp), m_pEndp(code.m_endp), m_code(code),
      m_scratch(code.m_scratch), m_pCancel(pCancel)
{}

bool CRegMatcher::Poll()
{
    m_nNextPoll = m_nSteps + kPollInterval;
    if (m_pCancel != nullptr && m_pCancel->load(std::memory_order_relaxed))
        m_bCancelled = true;
    return m_bCancelled;
}

bool CRegMatcher::TryAt(const char16_t* p)
{
    if (m_bCancelled)
        return false;
    for (int i = 0; i < kRegSubexpressions; ++i) {
        m_pStartp[i] = nullptr;
        m_pEndp[i] = nullptr;
    }
    m_pInput = p;
    if (Run(m_code.m_pProgram.get() + 1)) {
        m_pStartp[0] = p;
        m_pEndp[0] = m_pInput;
        return true;
    }
    // A failed attempt records nothing.
    for (int i = 0; i < kRegSubexpressions; ++i) {
        m_pStartp[i] = nullptr;
        m_pEndp[i] = nullptr;
    }
    return false;
}

bool CRegMatcher::Record(int slot, const char16_t* pos)
{
    const char16_t*& target =
        slot < kRegSubexpressions ? m_pStartp[slot] : m_pEndp[slot - kRegSubexpressions];
    // Only a pending choice can bring the old value back.
    if (!m_scratch.choices.empty()) {
        if (m_scratch.undo.size() >= kMaxUndo)
            return false;
        m_scratch.undo.push_back({slot, target});
    }
    // The last time a group is passed on the way to the end is the one a match reports.
    target = pos;
    return true;
}

void CRegMatcher::Unwind(size_t mark)
{
    auto& undo = m_scratch.undo;
    while (undo.size() > mark) {
        const SRegScratch::SUndo& u = undo.back();
        if (u.nSlot < kRegSubexpressions)
            m_pStartp[u.nSlot] = u.pOld;
        else
            m_pEndp[u.nSlot - kRegSubexpressions] = u.pOld;
        undo.pop_back();
    }
}

size_t CRegMatcher::Repeat(const char16_t* node, const char16_t* pos)
{
    const char16_t* operand = Operand(node);
    size_t n = 0;
    switch (Op(node)) {
    case RegOp::AnyChar:
        if (m_pEnd == nullptr)
            m_pEnd = pos + std::char_traits<char16_t>::length(pos);
        return static_cast<size_t>(m_pEnd - pos);
    case RegOp::Literal: {
        const char16_t c = operand[0];
        if (c == 0)
            return 0;
        while (pos[n] == c)
            ++n;
        break;
    }
    case RegOp::AnyOf:
        while (pos[n] != 0 && InSet(operand, pos[n]))
            ++n;
        break;
    case RegOp::AnyBut:
        while (pos[n] != 0 && !InSet(operand, pos[n]))
            ++n;
        break;
    default:
        SetError(ErrBadRepeat);
        return 0;
    }
    m_nSteps += n / 16;
    return n;
}

bool CRegMatcher::Run(const char16_t* start)
{
    auto& choices = m_scratch.choices;
    choices.clear();
    m_scratch.undo.clear();

    const char16_t* scan = start;
    const char16_t* pos = m_pInput;
    for (;;) {
        if (++m_nSteps >= m_nNextPoll && Poll())
            return false;

        bool ok = true;
        if (scan == nullptr) {
            SetError(ErrMissingNode);
            ok = false;
        } else {
            const char16_t* next = Next(scan);
            const int op = Op(scan);
            switch (op) {
            case RegOp::End:
                m_pInput = pos;
                return true;
            case RegOp::AtStart:
                ok = pos == m_pBol;
                break;
            case RegOp::AtEnd:
                ok = *pos == 0;
                break;
            case RegOp::AnyChar:
                ok = *pos != 0;
                pos += ok;
                break;
            case RegOp::AnyOf:
                ok = *pos != 0 && InSet(Operand(scan), *pos);
                pos += ok;
                break;
            case RegOp::AnyBut:
                ok = *pos != 0 && !InSet(Operand(scan), *pos);
                pos += ok;
                break;
            case RegOp::Literal: {
                const char16_t* s = Operand(scan);
                size_t i = 0;
                while (s[i] != 0 && s[i] == pos[i])
                    ++i;
                ok = s[i] == 0;
                if (ok)
                    pos += i;
                break;
            }
            case RegOp::Nothing:
            case RegOp::Back:
                break;
            case RegOp::WordStart:
                ok = IsWordChar(*pos) && (pos == m_pBol || !IsWordChar(pos[-1]));
                break;
            case RegOp::WordEnd:
                // Looks only at the character ahead.
                ok = !IsWordChar(*pos);
                break;
            case RegOp::Branch:
                if (next != nullptr && Op(next) == RegOp::Branch) {
                    if (choices.size() >= kMaxChoices)
                        return false;
                    choices.push_back({scan, pos, 0, m_scratch.undo.size()});
                }
                scan = Operand(scan);
                continue;
            case RegOp::Star:
            case RegOp::Plus: {
                const size_t min = op == RegOp::Star ? 0 : 1;
                const char16_t c =
                    next != nullptr && Op(next) == RegOp::Literal ? Operand(next)[0] : char16_t(0);
                size_t k = Repeat(Operand(scan), pos);
                if (k < min) {
                    ok = false;
                    break;
                }
                // The most repetitions after which the next node can start.
                while (c != 0 && pos[k] != c && k > min)
                    --k;
                if (c != 0 && pos[k] != c) {
                    ok = false;
                    break;
                }
                if (k > min) {
                    if (choices.size() >= kMaxChoices)
                        return false;
                    choices.push_back({scan, pos, k, m_scratch.undo.size()});
                }
                pos += k;
                scan = next;
                continue;
            }
            default:
                if (op > RegOp::Open && op < RegOp::Open + kRegSubexpressions) {
                    if (!Record(op - RegOp::Open, pos))
                        return false;
                } else if (op > RegOp::Close && op < RegOp::Close + kRegSubexpressions) {
                    if (!Record(kRegSubexpressions + op - RegOp::Close, pos))
                        return false;
                } else {
                    SetError(ErrOpcode);
                    ok = false;
                }
                break;
            }
            if (ok) {
                scan = next;
                continue;
            }
        }
        if (!Backtrack(scan, pos))
            return false;
    }
}

// Resumes the most recent choice with its next possibility; false when none is left.
bool CRegMatcher::Backtrack(const char16_t*& scan, const char16_t*& pos)
{
    auto& choices = m_scratch.choices;
    while (!choices.empty()) {
        if (++m_nSteps >= m_nNextPoll && Poll())
            return false;
        SRegScratch::SChoice& choice = choices.back();
        Unwind(choice.nUndo);
        const char16_t* node = choice.pNode;
        if (Op(node) == RegOp::Branch) {
            const char16_t* alt = Next(node);
            if (alt == nullptr || Op(alt) != RegOp::Branch) {
                choices.pop_back();
                continue;
            }
            pos = choice.pPos;
            scan = Operand(alt);
            const char16_t* after = Next(alt);
            if (after != nullptr && Op(after) == RegOp::Branch)
                choice.pNode = alt;
            else
                choices.pop_back(); // the last alternative: nothing left to resume
            return true;
        }

        // Star or Plus: one repetition fewer, where the next node can start.
        const char16_t* next = Next(node);
        const size_t min = Op(node) == RegOp::Star ? 0 : 1;
        const char16_t c =
            next != nullptr && Op(next) == RegOp::Literal ? Operand(next)[0] : char16_t(0);
        size_t k = choice.nCount;
        const char16_t* from = choice.pPos;
        bool found = false;
        while (k > min) {
            --k;
            if (c == 0 || from[k] == c) {
                found = true;
                break;
            }
        }
        if (!found) {
            choices.pop_back();
            continue;
        }
        if (k > min)
            choice.nCount = k;
        else
            choices.pop_back();
        pos = from + k;
        scan = next;
        return true;
    }
    return false;
}
