#pragma once

#include <string>

// Who is logged in and where the server is. One record lives for the whole process
// (owned by main); windows and dialogs are handed a reference to it. Texts are GBK bytes.
struct Session
{
    std::string UserName;      // as typed in the login dialog, untrimmed
    std::string Password;      // as typed, untrimmed
    std::string ServerAddress; // dotted IPv4 text, or the failure text of the resolution
};
