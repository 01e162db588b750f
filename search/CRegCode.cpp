#include "search/CRegCode.h"

#include "search/CRegCompiler.h"
#include "search/CRegValidator.h"

#include <string>

void CRegCode::Reset()
{
    m_nProgramLength = 0;
    ClearPositions();
    m_chFirst = 0;
    m_bAnchored = 0;
    m_pMust = nullptr;
    m_nMustLength = 0;
    m_pProgram.reset();
    m_bCompiled = 0;
    m_scanner = CRegScanner();
}

void CRegCode::ClearPositions()
{
    for (int i = 0; i < kRegSubexpressions; ++i) {
        m_startp[i] = nullptr;
        m_endp[i] = nullptr;
    }
}

bool CRegCode::regcomp(const char16_t* pattern)
{
    Reset();
    ClearError();
    if (pattern == nullptr) {
        SetError(ErrNullPattern);
        return false;
    }

    // First pass: check the syntax and count the units.
    CRegValidator validator(pattern);
    int flags = 0;
    if (validator.ParsePattern(&flags) == nullptr) {
        SetErrorText(validator.GetErrorText(), validator.GetErrorCode());
        return false;
    }
    if (validator.GetLength() > kRegMaxProgram) {
        SetError(ErrTooBig);
        return false;
    }

    // Second pass: write the program into an array of exactly that size.
    const int length = validator.GetLength();
    m_pProgram = std::make_unique<char16_t[]>(static_cast<size_t>(length));
    m_pProgram[0] = kRegMagic;
    CRegCompiler compiler(pattern, m_pProgram.get() + 1, length - 1);
    const bool written = compiler.ParsePattern(&flags) != nullptr;
    if (!written || compiler.Overflowed() || compiler.GetOutput() != m_pProgram.get() + length) {
        // The passes disagree: never run such a program.
        if (compiler.GetErrorCode() != 0)
            SetErrorText(compiler.GetErrorText(), compiler.GetErrorCode());
        else
            SetError(ErrJunkOnEnd);
        m_pProgram.reset();
        return false;
    }
    m_nProgramLength = length;

    CollectHints(flags);
    m_bCompiled = 1;
    return true;
}

void CRegCode::CollectHints(int flags)
{
    using A = CRegProgramAccessor;
    const char16_t* first = m_pProgram.get() + 1;
    m_scanner.Build(first);

    const char16_t* next = A::Next(first);
    if (next == nullptr || A::Op(next) != RegOp::End)
        return; // more than one top-level alternative

    const char16_t* scan = A::Operand(first);
    if (A::Op(scan) == RegOp::Literal)
        m_chFirst = A::Operand(scan)[0];
    else if (A::Op(scan) == RegOp::AtStart)
        m_bAnchored = 1;

    if (flags & RegFlag::SpStart) {
        // The longest literal every match must pass through; a later one wins a tie.
        const char16_t* longest = nullptr;
        size_t length = 0;
        for (; scan != nullptr; scan = A::Next(scan)) {
            if (A::Op(scan) != RegOp::Literal)
                continue;
            const size_t n = std::char_traits<char16_t>::length(A::Operand(scan));
            if (n >= length) {
                longest = A::Operand(scan);
                length = n;
            }
        }
        m_pMust = longest;
        m_nMustLength = static_cast<int>(length);
    }
}

bool CRegCode::Prepare(const char16_t* subject)
{
    m_bCancelled = false;
    if (subject == nullptr) {
        SetError(ErrNullSubject);
        return false;
    }
    if (!m_pProgram || m_pProgram[0] != kRegMagic) {
        SetError(ErrCorruptedRegexp);
        return false;
    }
    return true;
}

bool CRegCode::Finish(CRegMatcher& matcher, bool found)
{
    if (matcher.GetErrorCode() != 0)
        m_matcherError.SetErrorText(matcher.GetErrorText(), matcher.GetErrorCode());
    m_bCancelled = matcher.IsCancelled();
    return found && !m_bCancelled;
}

bool CRegCode::regexec(const char16_t* subject, const std::atomic<bool>* pCancel)
{
    if (!Prepare(subject))
        return false;

    // An anchored search needs no length: one attempt, which finds the end if it must.
    const char16_t* end = m_bAnchored && m_pMust == nullptr
                              ? nullptr
                              : subject + std::char_traits<char16_t>::length(subject);
    if (m_pMust != nullptr && m_nMustLength > 0 &&
        CRegScanner::FindString(subject, end, m_pMust, static_cast<size_t>(m_nMustLength)) ==
            nullptr)
        return false;

    CRegMatcher matcher(*this, subject, end, pCancel);
    return Finish(matcher, Search(matcher, subject, end));
}

bool CRegCode::regexecFrom(const char16_t* subject, const char16_t* end, const char16_t* from,
                           const std::atomic<bool>* pCancel)
{
    if (!Prepare(subject))
        return false;
    if (from == subject) {
        m_pMustSubject = nullptr;
        return regexec(subject, pCancel);
    }
    if (from > end || m_bAnchored) {
        // An anchored program matches only at the subject's start.
        ClearPositions();
        return false;
    }

    if (m_pMust != nullptr && m_nMustLength > 0) {
        if (m_pMustSubject != subject || m_pMustSeen == nullptr || m_pMustSeen < from) {
            m_pMustSubject = subject;
            m_pMustSeen =
                CRegScanner::FindString(from, end, m_pMust, static_cast<size_t>(m_nMustLength));
        }
        if (m_pMustSeen == nullptr) {
            ClearPositions();
            return false;
        }
    }

    CRegMatcher matcher(*this, subject, end, pCancel);
    return Finish(matcher, Search(matcher, from, end));
}

bool CRegCode::Search(CRegMatcher& matcher, const char16_t* subject, const char16_t* end)
{
    if (m_bAnchored)
        return matcher.TryAt(subject);

    if (m_chFirst != 0) {
        // Attempts where the first character stands; the scanner skips those where the
        // leading literal does not follow, which would fail at once.
        bool any = false;
        for (const char16_t* p = m_scanner.Find(subject, end); p != nullptr;
             p = m_scanner.Find(p + 1, end)) {
            any = true;
            if (matcher.TryAt(p))
                return true;
            if (matcher.IsCancelled())
                return false;
        }
        // Had an attempt run, it would have cleared the positions.
        if (!any && CRegScanner::FindUnit(subject, end, m_chFirst) != nullptr)
            ClearPositions();
        return false;
    }

    // Every position up to and including the terminating NUL.
    ClearPositions();
    if (m_scanner.GetKind() == CRegScanner::EKind::Any) {
        for (const char16_t* p = subject; p <= end; ++p) {
            if (matcher.TryAt(p))
                return true;
            if (matcher.IsCancelled())
                return false;
        }
        return false;
    }
    // The scanner's candidates must consume a character, so the NUL is never one.
    for (const char16_t* p = m_scanner.Find(subject, end); p != nullptr;
         p = m_scanner.Find(p + 1, end)) {
        if (matcher.TryAt(p))
            return true;
        if (matcher.IsCancelled())
            return false;
    }
    return false;
}
