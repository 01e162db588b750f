#pragma once
// Asks for a password on the controlling terminal with echo off, as psql and sqlcmd do.

#include <string>

class CPasswordPrompt
{
public:
    // The longest password read; SQL Server's own limit is 128 characters.
    static constexpr std::size_t kLongestPassword = 1024;

    // Writes the prompt to the terminal and reads one line without echo. False with a
    // message when there is no terminal to ask on or reading fails.
    static bool Ask(const std::string& prompt, std::string& password, std::string& error);
};
