#pragma once
// One ODBC diagnostic record as a plain value, so failures can be described and tested
// without a driver.

#include <cstdint>
#include <string>
#include <vector>

struct SOdbcDiagnostic
{
    std::u16string m_strState;  // the five-character SQLSTATE, e.g. u"08001"
    std::int32_t m_nNative = 0; // the server's or driver's own error number
    std::u16string m_strMessage;
};

using OdbcDiagnostics = std::vector<SOdbcDiagnostic>;

// The records as one line for a detail text: "[08001] (20009) message; ...".
std::u16string DescribeDiagnostics(const OdbcDiagnostics& diagnostics);
