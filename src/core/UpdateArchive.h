#pragma once

#include <string>
#include <string_view>

// The notice line doubles as the link to a new version of the program: a notice that names
// "Zumalo" and ".rar" arms the download of the archive it names. Texts are GBK.

// Whether the notice names an update archive.
bool NamesUpdateArchive(std::string_view notice);

// The archive name: from the first "Zumal" up to and including the first ".rar", by 1-based
// positions (0 when absent) and the substring rule of Copy, so a ".rar" before "Zumal" gives
// a short or empty name.
std::string UpdateArchiveName(std::string_view notice);
