#include "search/CreationDate.h"

#include <array>
#include <limits>

namespace {

constexpr std::array<std::u16string_view, 12> kMonthNames = {
    u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};

bool IsWhite(char16_t c)
{
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// Reads a field like a C integer: leading white space and a sign, then digits up to the first
// other character. False when there are no digits. Saturates instead of overflowing.
bool ReadNumber(std::u16string_view field, int& value)
{
    std::size_t i = 0;
    while (i < field.size() && IsWhite(field[i]))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == u'+' || field[i] == u'-'))
        negative = field[i++] == u'-';
    long long magnitude = 0;
    bool digits = false;
    for (; i < field.size() && field[i] >= u'0' && field[i] <= u'9'; ++i) {
        digits = true;
        if (magnitude <= std::numeric_limits<int>::max())
            magnitude = magnitude * 10 + (field[i] - u'0');
    }
    if (!digits)
        return false;
    if (magnitude > std::numeric_limits<int>::max())
        magnitude = std::numeric_limits<int>::max();
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return true;
}

// Takes the field in front of the next hyphen and drops both.
bool TakeBeforeHyphen(std::u16string_view& text, std::u16string_view& field)
{
    const std::size_t pos = text.find(u'-');
    if (pos == std::u16string_view::npos || pos == 0)
        return false;
    field = text.substr(0, pos);
    text.remove_prefix(pos + 1);
    return true;
}

// Takes the field in front of the next blank and drops it with the whole run of blanks after
// it. The last field of a text may also end where the text ends.
bool TakeBeforeBlanks(std::u16string_view& text, std::u16string_view& field, bool mayEndText)
{
    std::size_t pos = text.find(u' ');
    if (pos == std::u16string_view::npos) {
        if (!mayEndText)
            return false;
        pos = text.size();
    }
    if (pos == 0)
        return false;
    field = text.substr(0, pos);
    text.remove_prefix(pos);
    while (!text.empty() && text.front() == u' ')
        text.remove_prefix(1);
    return true;
}

int MonthOfName(std::u16string_view name)
{
    for (std::size_t i = 0; i < kMonthNames.size(); ++i) {
        if (name == kMonthNames[i])
            return static_cast<int>(i) + 1;
    }
    return 0;
}

} // namespace

CDate ParseCreationDate(EFlavour flavour, std::u16string_view text)
{
    std::u16string_view yearField;
    std::u16string_view monthField;
    std::u16string_view dayField;
    int year = 0;
    int month = 0;
    int day = 0;

    if (flavour == EFlavour::Modern) {
        // "2014-05-15 10:20:00": the time of day is ignored.
        if (!TakeBeforeHyphen(text, yearField) || !TakeBeforeHyphen(text, monthField) ||
            !TakeBeforeBlanks(text, dayField, true))
            return CDate();
        if (!ReadNumber(monthField, month))
            return CDate();
    } else {
        // "May  5 2014 10:20AM": the day is padded with a blank to two places.
        if (!TakeBeforeBlanks(text, monthField, false) ||
            !TakeBeforeBlanks(text, dayField, false) || !TakeBeforeBlanks(text, yearField, true))
            return CDate();
        month = MonthOfName(monthField);
    }
    if (!ReadNumber(yearField, year) || !ReadNumber(dayField, day))
        return CDate();
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return CDate();
    return CDate(year, month, day);
}
