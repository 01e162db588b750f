#pragma once
// The program icon, drawn in code: a database with a magnifying glass. It is drawn afresh at
// whatever size and pixel ratio a window system, panel or dialog asks for, so it stays crisp
// at 2x and on large task switchers.

#include <QIcon>
#include <QPixmap>

namespace ProgramIcon {

// The sizes offered to window systems that pick from a list (_NET_WM_ICON and the like).
inline constexpr int kListedSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// Made once per process.
QIcon Get();

// The drawing at nSize device pixels square.
QPixmap Draw(int nSize);

} // namespace ProgramIcon
