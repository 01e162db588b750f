#pragma once
// An error text set from one of the regular-expression engine's error codes.

#include <string>
#include <string_view>

class CRegErrorHandler
{
public:
    // The engine's error codes; the texts are in CRegErrorHandler.cpp.
    enum : int
    {
        ErrNullSubject = 1,           // regexec without a subject
        ErrCorruptedRegexp = 2,       // regexec on a record without a program or magic value
        ErrOpcode = 3,                // an opcode outside the table while matching
        ErrMissingNode = 4,           // a chain ends where a node must follow
        ErrBadRepeat = 5,             // Star or Plus around a node that is not one character
        ErrNullPattern = 10,          // regcomp without a pattern
        ErrTooBig = 11,               // the program would reach 32767 units
        ErrTooManyGroups = 12,        // a tenth group
        ErrUnterminatedGroup = 13,    // a group not closed by ')'
        ErrUnmatchedGroup = 14,       // a ')' without its '('
        ErrJunkOnEnd = 15,            // the pattern not consumed (cannot occur)
        ErrEmptyOperand = 16,         // '*' or '+' after an atom that can match nothing
        ErrNestedRepeat = 17,         // two repetition operators in a row
        ErrInvalidRange = 18,         // a bracket range whose end lies below its start
        ErrUnmatchedBracket = 19,     // a bracket set without its ']'
        ErrUnexpected = 20,           // an atom at the end, at '|' or at ')' (cannot occur)
        ErrRepeatFollowsNothing = 21, // a repetition operator at the start of an alternative
        ErrTrailingBackslash = 22,    // a backslash at the end of the pattern
        ErrNullRegexp = 24,           // Match on a pattern without a program record
    };

    // The text of an error code; "Unknown error" for a code not in the table.
    static std::u16string_view TextOf(int code);

    void SetError(int code);
    void SetErrorText(const std::u16string& text, int code);
    void ClearError();
    const std::u16string& GetErrorText() const { return m_strError; }
    int GetErrorCode() const { return m_nError; }

private:
    std::u16string m_strError;
    int m_nError = 0;
};
