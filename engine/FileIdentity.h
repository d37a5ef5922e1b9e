#pragma once
// Which file or folder a path reaches, whatever its spelling: letter case,
// an 8.3 alias, a symbolic link or junction, "." and ".." segments, a
// trailing backslash. Two paths reach the same object when the volume
// serial number and the file index behind them agree.
#include <string>

#include "win/FileObjectId.h"

// The absolute form of path as Windows forms it (GetFullPathName); false
// when it cannot be formed.
bool FullPathName(const std::string& path, std::string& full);

// Whether folder is the folder path, or one of the folders that hold it.
// Where a path exists it is compared by identity; below its deepest
// existing folder, by the remaining names, case-insensitively.
bool FolderIsOrHolds(const std::string& folder, const std::string& path);

// The full path of the folder that holds path ("a/b\c.txt" -> "...\a\b"),
// or "" when there is none.
std::string ContainingFolder(const std::string& path);
