#pragma once

#include <string>

// Directory of the running program with a trailing '/', read from /proc/self/exe.
std::string ProgramDir();
