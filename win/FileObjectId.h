#pragma once
// What an existing file or folder is, whatever path reaches it (letter case,
// an 8.3 alias, a symbolic link or junction): the volume's serial number and
// the file index. Header-only, for the program and the archive library.
#include <windows.h>

#include <string>

#include "win/ScopedHandle.h"

struct FileObjectId {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const FileObjectId& other) const {
        return volume == other.volume && indexHigh == other.indexHigh && indexLow == other.indexLow;
    }
};

// The identity of what path reaches; false when it reaches nothing. Backup
// semantics reach folders as well as files; asking for no access and sharing
// everything disturbs no one who has it open.
inline bool IdentifyFileObject(const std::string& path, FileObjectId& identity) {
    const ScopedFile file(CreateFileA(path.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!file || !GetFileInformationByHandle(file.get(), &information))
        return false;
    identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh,
                information.nFileIndexLow};
    return true;
}
