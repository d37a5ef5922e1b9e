#include <windows.h>

#include <vector>

#include "app/UpdaterApp.h"
#include "engine/Diagnostics.h"
#include "engine/SelfUpdate.h"
#include "engine/FileCopy.h"
#include "engine/UpdateEntry.h"
#include "text/ShiftJis.h"

namespace {

// Puts a copy of source in place of destination so that destination is
// either the old file or the whole new one, never a half-written mix: the
// copy goes to a temporary file in the destination's folder and replaces
// the destination in one rename. The copy keeps source's last-write time.
// On failure destination is untouched and the temporary file is gone.
bool ReplaceWithCopy(const std::string& source, const std::string& destination,
                     const std::vector<std::string>& listed) {
    // A read-only installed file is not ours to replace: a plain copy over
    // it fails too.
    const DWORD attributes = GetFileAttributesA(destination.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        LogCause("not replaced, read-only or a folder: %s", destination.c_str());
        return false;
    }

    const std::size_t slash = sjis::FindLastChar(destination, '\\');
    const std::string folder = slash == std::string::npos ? "." : destination.substr(0, slash + 1);
    char temporary[MAX_PATH + 1] = {};
    if (GetTempFileNameA(folder.c_str(), "tov", 0, temporary) == 0) {
        LogCause("no temporary file in %s: %s", folder.c_str(),
                 Win32ErrorText(GetLastError()).c_str());
        return false;
    }
    if (!CopyWholeFile(source, temporary)) {
        LogCause("cannot copy %s to %s: %s", source.c_str(), temporary,
                 Win32ErrorText(GetLastError()).c_str());
    } else if (MoveIntoPlace(temporary, destination, listed)) {
        return true;
    } else {
        LogCause("cannot move %s into place as %s: %s", temporary, destination.c_str(),
                 Win32ErrorText(GetLastError()).c_str());
    }
    DeleteFileA(temporary);
    return false;
}

} // namespace

bool UpdaterApp::ApplyUpdates(UpdateEntry* head) {
    bool allCopied = true;
    const std::string programFolder = ModuleFolder();
    const std::string tempFolder = TempFolderPath();
    std::vector<std::string> listed;
    for (const UpdateEntry* entry = head; entry != nullptr; entry = entry->next)
        listed.push_back(programFolder + entry->folder + entry->fileName);
    for (UpdateEntry* entry = head; entry != nullptr; entry = entry->next) {
        // Only marked entries; a second run after a failure retries the
        // failed ones alone.
        if (entry->state != NeedsUpdate && entry->state != CopyFailed)
            continue;
        if (ReplaceWithCopy(tempFolder + entry->fileName,
                            programFolder + entry->folder + entry->fileName, listed)) {
            entry->state = Updated;
        } else {
            entry->state = CopyFailed;
            allCopied = false;
        }
    }
    return allCopied;
}
