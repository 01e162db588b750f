#pragma once
// The edit mix-in: what the library's edits share beyond CControl.

#include "controls/CControl.h"

class CBaseEdit : public CControl
{
public:
    // True when the edit window is read-only; the edits then ignore typed and pasted input.
    virtual bool IsReadOnly() const = 0;
};
