#include "ui/AboutDialog.h"

#include <vector>

#include "framework/WinApp.h"
#include "res/resource.h"

namespace {

// The value of key from the first translation pair that has one.
bool QueryString(std::vector<char>& block, const WORD* pairs, UINT count, const char* key,
                 std::string& out) {
    for (UINT i = 0; i < count; ++i) {
        char path[96];
        wsprintfA(path, "\\StringFileInfo\\%04x%04x\\%s", pairs[2 * i], pairs[2 * i + 1], key);
        void* value = nullptr;
        UINT length = 0;
        if (VerQueryValueA(block.data(), path, &value, &length) && value != nullptr) {
            out = static_cast<const char*>(value);
            return true;
        }
    }
    return false;
}

} // namespace

void ReadVersionInfo(std::string& version, std::string& legal) {
    const std::string file = std::string(AfxGetApp()->m_pszExeName) + ".exe";
    DWORD size = GetFileVersionInfoSizeA(file.c_str(), nullptr);
    if (size == 0)
        return;
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(file.c_str(), 0, size, block.data()))
        return;
    void* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &translation, &length) ||
        translation == nullptr)
        return;
    const auto* pairs = static_cast<const WORD*>(translation);
    const UINT count = length / 4;
    QueryString(block, pairs, count, "ProductVersion", version);
    QueryString(block, pairs, count, "LegalCopyright", legal);
}

AboutDialog::AboutDialog() : CDialog(IDD_ABOUTBOX) {
    std::string version;
    std::string legal;
    ReadVersionInfo(version, legal);
    m_strVersion = std::string(AfxGetApp()->m_pszExeName) + " Version " + version;
    m_strLegal = legal;
}

void AboutDialog::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_WEB_LINK, m_linkWeb);
    DDX_Text(pDX, IDC_LEGAL_TEXT, m_strLegal);
    DDX_Text(pDX, IDC_VERSION_TEXT, m_strVersion);
}
