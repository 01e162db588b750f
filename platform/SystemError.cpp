#include "platform/SystemError.h"

#include "platform/Utf.h"

#include <cerrno>
#include <system_error>

std::string SystemErrorTextUtf8(int nError)
{
    return std::system_category().message(nError);
}

std::u16string SystemErrorText(int nError)
{
    return quarrow::FromUtf8(SystemErrorTextUtf8(nError));
}

std::u16string LastSystemErrorText()
{
    return SystemErrorText(errno);
}
