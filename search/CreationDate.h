#pragma once
// Reads the calendar day out of an object's creation-date text as the object model gives it:
// modern "2014-05-15 10:20:00", legacy "May  5 2014 10:20AM".

#include "catalog/ObjectModel.h"
#include "search/CDate.h"

#include <string_view>

// The day the text names, or no date (IsValid() false) when no real date can be read:
// an empty text, a field missing, a month outside 1-12 or a day outside 1-31. A run of
// blanks between fields is one separator and the last field may end the text.
CDate ParseCreationDate(EFlavour flavour, std::u16string_view text);
