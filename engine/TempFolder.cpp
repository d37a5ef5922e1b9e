#include <windows.h>

#include <cstring>
#include <vector>

#include "app/UpdaterApp.h"
#include "engine/Diagnostics.h"
#include "engine/FileIdentity.h"
#include "win/ScopedHandle.h"

namespace {

// Windows drops trailing dots and blanks from a plain path, so a file
// named "..." could not be reached by its plain path; the "\\?\" form takes
// the name as it is.
std::string DeletablePath(const std::string& folder, const std::string& name) {
    const char last = name.back();
    if (last != '.' && last != ' ')
        return folder + name;
    std::string path;
    if (!FullPathName(folder, path))
        return folder + name;
    if (path.compare(0, 2, "\\\\") == 0)
        return "\\\\?\\UNC\\" + path.substr(2) + name;
    return "\\\\?\\" + path + name;
}

} // namespace

void UpdaterApp::ClearTempFolder() {
    const std::string folder = TempFolderPath();
    // The whole folder is listed before anything is deleted, so that the
    // search never runs over a folder that changes under it.
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    {
        const ScopedFind search(FindFirstFileA((folder + "*.*").c_str(), &found));
        if (!search)
            return;
        do {
            if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
                names.push_back(found.cFileName);
        } while (FindNextFileA(search.get(), &found));
    }

    // Files only, one level deep: a subfolder fails to delete as a file and
    // stays with everything in it. What cannot be deleted stays silently.
    for (const std::string& name : names) {
        const std::string path = DeletablePath(folder, name);
        if (!DeleteFileA(path.c_str()))
            LogCause("clean-up left %s: %s", path.c_str(), Win32ErrorText(GetLastError()).c_str());
    }
}
