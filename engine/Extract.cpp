#include <windows.h>

#include <memory>
#include <new>

#include "app/UpdaterApp.h"
#include "engine/Diagnostics.h"
#include "engine/TarCommand.h"
#include "win/ScopedHandle.h"
#include "tar32/Tar32.h"

namespace {

constexpr DWORD kMessageSize = 1024;

// The last line of the library's listing that begins "error: ", or "".
std::string LastErrorLine(const char* messages) {
    const std::string text(messages);
    std::string last;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        if (text.compare(start, 7, "error: ") == 0)
            last = text.substr(start, end - start);
        start = end + 1;
    }
    return last;
}

bool RunTar(const std::string& commandLine, char* messages) {
    ScopedModule library(LoadLibraryA("tar32.dll"));
    if (!library) {
        LogCause("cannot load tar32.dll: %s", Win32ErrorText(GetLastError()).c_str());
        return false;
    }
    auto tar =
        reinterpret_cast<TarProc>(reinterpret_cast<void*>(GetProcAddress(library.get(), "Tar")));
    if (tar == nullptr) {
        LogCause("tar32.dll has no Tar: %s", Win32ErrorText(GetLastError()).c_str());
        return false;
    }
    const int result = tar(nullptr, commandLine.c_str(), messages, kMessageSize);
    if (result == TAR32_OK)
        return true;
    const std::string errorLine = LastErrorLine(messages);
    LogCause("tar32 returned %d for %s; %s", result, commandLine.c_str(),
             errorLine.empty() ? "no error line" : errorLine.c_str());
    return false;
}

} // namespace

bool UpdaterApp::ExtractArchive() {
    const std::string commandLine =
        TarCommandLine(ArchivePath(), ModuleFolder() + settings_.TempFolder);
    // One byte more than the library is told, so that what it writes always
    // ends in a zero.
    std::unique_ptr<char[]> messages(new (std::nothrow) char[kMessageSize + 1]());
    if (messages == nullptr)
        LogCause("no memory for tar32's listing");
    const bool unpacked = messages != nullptr && RunTar(commandLine, messages.get());
    if (!unpacked)
        AfxMessageBox("ｱｰｶｲﾌﾞﾃﾞｰﾀ解凍中にｴﾗｰが起きました。\r\n\r\n" + commandLine,
                      MB_OK | MB_ICONEXCLAMATION);
    return unpacked;
}
