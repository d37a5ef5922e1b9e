#pragma once
// Copying one file's bytes and last-write time, with every read checked.
#include <string>

// Writes the whole of source into destination (created, or emptied when it
// exists), gives it source's last-write time and flushes it to the disk.
// False when any part of source cannot be read or destination cannot be
// written; destination is then incomplete and the caller discards it.
bool CopyWholeFile(const std::string& source, const std::string& destination);
