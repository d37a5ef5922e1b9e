#include <windows.h>

#include <algorithm>

#include "app/UpdaterApp.h"
#include "engine/Minisign.h"
#include "engine/FileIdentity.h"
#include "engine/UpdateEntry.h"
#include "engine/Diagnostics.h"
#include "text/ShiftJis.h"

namespace {

constexpr DWORD kValueBufferSize = 4096;

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

std::vector<std::string> UpdaterApp::ListedFilePaths() const {
    std::vector<std::string> paths;
    const std::string programFolder = ModuleFolder();
    for (int n = 1;; ++n) {
        const std::string value = ReadProfileValue("UpdateFiles", EntryKeyName(n).c_str());
        if (value.empty())
            break;
        std::string fileName, folder;
        SplitEntryValue(value, fileName, folder);
        paths.push_back(programFolder + folder + fileName);
    }
    return paths;
}

bool UpdaterApp::TempFolderEndangersFiles(const std::string& tempFolder) const {
    // Unpacking there would overwrite installed files before the user
    // agrees, and the clean-up at exit would delete every file in it.
    std::vector<std::string> folders = {ModuleFolder()};
    for (const std::string& path : ListedFilePaths()) {
        // Most files share a few folders; each is looked at once.
        const std::string folder = ContainingFolder(path);
        if (!folder.empty() &&
            std::none_of(folders.begin(), folders.end(), [&](const std::string& known) {
                return lstrcmpiA(known.c_str(), folder.c_str()) == 0;
            }))
            folders.push_back(folder);
    }
    return std::any_of(folders.begin(), folders.end(), [&](const std::string& folder) {
        return FolderIsOrHolds(tempFolder, folder);
    });
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
        LogCause("no [Archive] URL in %s", m_pszProfileName);
        AfxMessageBox("設定ﾌｧｲﾙに受信するURLの記述がありません。", MB_OK | MB_ICONEXCLAMATION);
        return false;
    }

    // A signature URL without a key is signing meant but not set up: a
    // misspelt key name must not quietly turn the check off.
    settings_.PublicKey = ReadProfileValue("Archive", "PublicKey");
    settings_.SignatureURL = ReadProfileValue("Archive", "SignatureURL");
    const bool signingMeant = !settings_.PublicKey.empty() || !settings_.SignatureURL.empty();
    if (signingMeant && !minisign::ParsePublicKey(settings_.PublicKey)) {
        LogCause("[Archive] PublicKey in %s is %s", m_pszProfileName,
                 settings_.PublicKey.empty() ? "missing beside SignatureURL" : "malformed");
        AfxMessageBox("設定ﾌｧｲﾙのPublicKeyの記述が正しくありません。", MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (settings_.SignatureURL.empty())
        settings_.SignatureURL = settings_.URL + ".minisig";

    // Off unless asked for: it changes what the check asks of the server.
    const std::string quickCheck = ReadProfileValue("Archive", "QuickCheck");
    if (quickCheck != "" && quickCheck != "0" && quickCheck != "1") {
        LogCause("[Archive] QuickCheck in %s is neither 1 nor 0", m_pszProfileName);
        AfxMessageBox("設定ﾌｧｲﾙのQuickCheckの記述が正しくありません。", MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    settings_.QuickCheck = quickCheck == "1";

    settings_.TempFolder = ReadProfileValue("Archive", "TempFolder");
    if (settings_.TempFolder.empty())
        settings_.TempFolder = "UpdateArchive";

    const std::string tempFolder = TempFolderPath();
    if (TempFolderEndangersFiles(tempFolder)) {
        LogCause("TempFolder %s is or holds the program's folder or a listed folder",
                 tempFolder.c_str());
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
