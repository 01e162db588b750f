#pragma once
// The program icon, drawn in code: a database with a magnifying glass.

#include <QIcon>

namespace ProgramIcon {

// Made once per process, in 16, 32 and 48 pixels.
QIcon Get();

} // namespace ProgramIcon
