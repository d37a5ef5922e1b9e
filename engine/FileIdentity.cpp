#include "engine/FileIdentity.h"

#include <windows.h>

#include "win/ScopedHandle.h"
#include "text/ShiftJis.h"

bool FullPathName(const std::string& path, std::string& full) {
    char buffer[MAX_PATH * 4] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof(buffer), buffer, nullptr);
    if (length == 0 || length >= sizeof(buffer))
        return false;
    full.assign(buffer, length);
    return true;
}

namespace {

// The absolute path without a trailing backslash (a drive root keeps its
// own); empty when it cannot be formed.
std::string FullPath(const std::string& path) {
    std::string text;
    if (!FullPathName(path, text))
        return std::string();
    while (text.size() > 1 && sjis::FindLastChar(text, '\\') == text.size() - 1 &&
           text[text.size() - 2] != ':')
        text.pop_back();
    return text;
}

// The folder that holds a full path ("C:\a" -> "C:\"), or "" at the top.
std::string ParentOf(const std::string& fullPath) {
    const std::size_t slash = sjis::FindLastChar(fullPath, '\\');
    if (slash == std::string::npos || slash == 0)
        return std::string();
    std::string parent = fullPath.substr(0, slash);
    // A drive root keeps its backslash: "C:" alone would name the drive's
    // current folder.
    if (parent.back() == ':')
        parent += '\\';
    return parent == fullPath ? std::string() : parent;
}

// Where a path leads: the identity of its deepest existing folder or file
// and the names below it that do not exist (yet).
struct Place {
    bool found = false;
    FileObjectId identity;
    std::string missing; // "name\name"; the whole path when nothing exists
    bool operator==(const Place& other) const {
        return found == other.found && (!found || identity == other.identity) &&
               lstrcmpiA(missing.c_str(), other.missing.c_str()) == 0;
    }
};

Place PlaceOf(const std::string& fullPath) {
    Place place;
    for (std::string existing = fullPath; !existing.empty(); existing = ParentOf(existing)) {
        if (IdentifyFileObject(existing, place.identity)) {
            place.found = true;
            place.missing = fullPath.substr(existing.size());
            if (!place.missing.empty() && place.missing[0] == '\\')
                place.missing.erase(0, 1);
            return place;
        }
    }
    place.missing = fullPath;
    return place;
}

} // namespace

bool FolderIsOrHolds(const std::string& folder, const std::string& path) {
    const std::string folderPath = FullPath(folder);
    const std::string innerPath = FullPath(path);
    if (folderPath.empty() || innerPath.empty())
        return false;
    const Place outer = PlaceOf(folderPath);
    for (std::string inner = innerPath; !inner.empty(); inner = ParentOf(inner))
        if (PlaceOf(inner) == outer)
            return true;
    return false;
}

std::string ContainingFolder(const std::string& path) {
    const std::string full = FullPath(path);
    return full.empty() ? full : ParentOf(full);
}
