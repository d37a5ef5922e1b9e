#include <windows.h>

#include "app/UpdaterApp.h"
#include "engine/Minisign.h"
#include "framework/ShiftJis.h"

namespace {

constexpr DWORD kValueBufferSize = 4096;

// Full path of a folder, ending in a backslash.
std::string ResolveFolder(const std::string& path) {
    char full[MAX_PATH * 4] = {};
    DWORD length = GetFullPathNameA(path.c_str(), sizeof(full), full, nullptr);
    if (length == 0 || length >= sizeof(full))
        return std::string();
    std::string folder(full, length);
    if (folder.empty() || sjis::FindLastChar(folder, '\\') != folder.size() - 1)
        folder += '\\';
    return folder;
}

// Whether the temporary folder is the program folder or one that holds it:
// unpacking there would overwrite installed files and the clean-up at exit
// would delete them.
bool HoldsProgramFolder(const std::string& tempFolder, const std::string& programFolder) {
    const std::string temp = ResolveFolder(tempFolder);
    const std::string program = ResolveFolder(programFolder);
    if (temp.empty() || program.empty() || temp.size() > program.size())
        return false;
    return lstrcmpiA(temp.c_str(), program.substr(0, temp.size()).c_str()) == 0;
}

} // namespace

std::string UpdaterApp::ModuleFolder() const {
    std::string path = ModulePath();
    // Walk by characters: a trail byte of a double-byte character in the
    // executable's own name may be 0x5C, which is not a separator.
    std::size_t slash = sjis::FindLastChar(path, '\\');
    if (slash != std::string::npos)
        path.erase(slash + 1);
    return path;
}

std::string UpdaterApp::ReadProfileValue(const char* section, const char* key) const {
    char value[kValueBufferSize] = {};
    GetPrivateProfileStringA(section, key, "", value, kValueBufferSize, m_pszProfileName);
    return value;
}

std::string UpdaterApp::TempFolderPath() const {
    return ModuleFolder() + settings_.TempFolder + "\\";
}

std::string UpdaterApp::ArchivePath() const {
    return TempFolderPath() + "Archive.zip";
}

bool UpdaterApp::LoadSettings() {
    settings_.Title = ReadProfileValue("Archive", "Title");
    settings_.URL = ReadProfileValue("Archive", "URL");
    if (settings_.URL.empty()) {
        AfxMessageBox("設定ﾌｧｲﾙに受信するURLの記述がありません。", MB_OK | MB_ICONEXCLAMATION);
        return false;
    }

    // A signature URL without a key is signing meant but not set up: a
    // misspelt key name must not quietly turn the check off.
    settings_.PublicKey = ReadProfileValue("Archive", "PublicKey");
    settings_.SignatureURL = ReadProfileValue("Archive", "SignatureURL");
    const bool signingMeant = !settings_.PublicKey.empty() || !settings_.SignatureURL.empty();
    if (signingMeant && !minisign::ParsePublicKey(settings_.PublicKey)) {
        AfxMessageBox("設定ﾌｧｲﾙのPublicKeyの記述が正しくありません。", MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (settings_.SignatureURL.empty())
        settings_.SignatureURL = settings_.URL + ".minisig";

    settings_.TempFolder = ReadProfileValue("Archive", "TempFolder");
    if (settings_.TempFolder.empty())
        settings_.TempFolder = "UpdateArchive";

    const std::string tempFolder = TempFolderPath();
    if (HoldsProgramFolder(tempFolder, ModuleFolder())) {
        AfxMessageBox("設定ﾌｧｲﾙのTempFolderにﾌﾟﾛｸﾞﾗﾑのﾌｫﾙﾀﾞは指定できません。\r\n\r\n" + tempFolder,
                      MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    // Only the last level is made; a folder that cannot be made shows up
    // when the check cannot create the archive file.
    if (GetFileAttributesA(tempFolder.c_str()) == INVALID_FILE_ATTRIBUTES)
        CreateDirectoryA(tempFolder.c_str(), nullptr);

    settings_.Program = ReadProfileValue("AutoRun", "Program");
    settings_.UpdateDoc = ReadProfileValue("AutoRun", "UpdateDoc");
    return true;
}
