#pragma once
// The backtracking matcher: runs a compiled program at one position of a subject.
//
// Choices are kept on a heap stack, not the call stack, so no subject can exhaust the
// thread's stack; an attempt that would need more than kMaxChoices open choices fails.
// The matcher counts its steps and polls a cancel flag every few thousand of them.

#include "search/CRegProgramAccessor.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

class CRegCode;

// Working memory of the matcher, kept by the record between searches.
struct SRegScratch
{
    struct SChoice
    {
        const char16_t* pNode; // the Branch whose alternative is running, or the Star/Plus node
        const char16_t* pPos;  // where the choice was made
        size_t nCount;         // Star/Plus: the repetitions in use
        size_t nUndo;          // the undo log's length when the choice was made
    };
    struct SUndo
    {
        int nSlot; // 0-9 start positions, 10-19 end positions
        const char16_t* pOld;
    };
    std::vector<SChoice> choices;
    std::vector<SUndo> undo;
};

class CRegMatcher : public CRegProgramAccessor
{
public:
    // Open choices an attempt may hold (a repeated group holds about one per repetition).
    static constexpr size_t kMaxChoices = size_t(1) << 20;
    static constexpr size_t kMaxUndo = size_t(1) << 21;
    static constexpr uint64_t kPollInterval = 4096;

    // subject runs to end, which holds its terminating NUL; a null end is found when needed.
    CRegMatcher(CRegCode& code, const char16_t* subject, const char16_t* end,
                const std::atomic<bool>* pCancel);

    // One attempt at p; on success the record holds the positions of the match and groups.
    bool TryAt(const char16_t* p);
    bool IsCancelled() const { return m_bCancelled; }
    uint64_t GetSteps() const { return m_nSteps; }

private:
    bool Run(const char16_t* node);
    bool Backtrack(const char16_t*& scan, const char16_t*& pos);
    size_t Repeat(const char16_t* node, const char16_t* pos);
    // False when the undo log is full: the attempt then fails.
    bool Record(int slot, const char16_t* pos);
    void Unwind(size_t mark);
    bool Poll();

    const char16_t* m_pBol;
    const char16_t* m_pEnd;
    const char16_t* m_pInput = nullptr;
    const char16_t** m_pStartp;
    const char16_t** m_pEndp;
    CRegCode& m_code;
    SRegScratch& m_scratch;
    const std::atomic<bool>* m_pCancel;
    uint64_t m_nSteps = 0;
    uint64_t m_nNextPoll = 1; // the first step looks at the flag
    bool m_bCancelled = false;
};
