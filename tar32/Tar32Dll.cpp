// The exported entry point: a thin door into the portable core. No exception
// ever leaves it.
#include <windows.h>

#include "tar32/Tar32.h"
#include "tar32/WinFileSystem.h"

extern "C" int WINAPI Tar(HWND /*hwnd*/, LPCSTR commandLine, LPSTR output, DWORD outputSize) {
    try {
        tar32::WinFileSystem fs;
        return tar32::Run(commandLine, output, output ? outputSize : 0, fs);
    } catch (...) {
        return TAR32_ERROR_INTERNAL;
    }
}
