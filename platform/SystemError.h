#pragma once
// The system's message text for an error number (what FormatMessage gives on Windows).

#include <string>

// "No such file or directory" for ENOENT.
std::u16string SystemErrorText(int nError);
std::string SystemErrorTextUtf8(int nError);
// The text of the current errno.
std::u16string LastSystemErrorText();
