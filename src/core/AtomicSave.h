#pragma once

#include <string>
#include <string_view>

// Saves bytes as the file at path, whole or not at all: they are written to a temporary file
// beside it (same folder, so the same file system), flushed to the disk, and only then
// renamed over path. Whatever fails on the way (a full disk, a folder that cannot be written,
// a name too long) leaves a file already at path as it was and removes the temporary one.
// Gives "" on success, else what failed with the system's text ("write: No space left on
// device"), for the log.
std::string SaveAtomically(const std::string& path, std::string_view bytes);
