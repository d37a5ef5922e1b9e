#include <windows.h>

#include <memory>
#include <new>

#include "app/UpdaterApp.h"
#include "engine/TarCommand.h"
#include "win/ScopedHandle.h"
#include "tar32/Tar32.h"

namespace {

constexpr DWORD kMessageSize = 1024;

bool RunTar(const std::string& commandLine, char* messages) {
    ScopedModule library(LoadLibraryA("tar32.dll"));
    if (!library)
        return false;
    auto tar =
        reinterpret_cast<TarProc>(reinterpret_cast<void*>(GetProcAddress(library.get(), "Tar")));
    if (tar == nullptr)
        return false;
    return tar(nullptr, commandLine.c_str(), messages, kMessageSize) == TAR32_OK;
}

} // namespace

bool UpdaterApp::ExtractArchive() {
    const std::string commandLine =
        TarCommandLine(ArchivePath(), ModuleFolder() + settings_.TempFolder);
    // One byte more than the library is told, so that what it writes always
    // ends in a zero.
    std::unique_ptr<char[]> messages(new (std::nothrow) char[kMessageSize + 1]());
    const bool unpacked = messages != nullptr && RunTar(commandLine, messages.get());
    if (!unpacked)
        AfxMessageBox("ｱｰｶｲﾌﾞﾃﾞｰﾀ解凍中にｴﾗｰが起きました。\r\n\r\n" + commandLine,
                      MB_OK | MB_ICONEXCLAMATION);
    return unpacked;
}
