// Stand-ins for the archive library, built only for the tests of what the
// program does when unpacking fails; never placed beside the program. The
// call is written to the file named by TOVARIND_FAKE_TAR_LOG so that a test
// can see exactly what the library was given.
#include <windows.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>

namespace {

void Record(HWND hwnd, LPCSTR commandLine, DWORD size) {
    char log[MAX_PATH] = {};
    if (GetEnvironmentVariableA("TOVARIND_FAKE_TAR_LOG", log, sizeof(log)) == 0)
        return;
    FILE* file = std::fopen(log, "wb");
    if (file == nullptr)
        return;
    // At least eight digits on both widths: %p would pad to sixteen on x64.
    std::fprintf(file, "hwnd=%08" PRIxPTR " size=%lu\n%s", reinterpret_cast<std::uintptr_t>(hwnd),
                 static_cast<unsigned long>(size), commandLine);
    std::fclose(file);
}

} // namespace

#ifdef FAKE_TAR_RESULT
extern "C" __declspec(dllexport) int WINAPI
    Tar(HWND hwnd, LPCSTR commandLine, LPSTR output, DWORD outputSize) {
    Record(hwnd, commandLine, outputSize);
    // Fill the whole buffer it was promised, as a chatty library might.
    for (DWORD i = 0; i < outputSize; ++i)
        output[i] = 'x';
    return FAKE_TAR_RESULT;
}
#else
extern "C" __declspec(dllexport) int WINAPI
    Untar(HWND hwnd, LPCSTR commandLine, LPSTR, DWORD outputSize) {
    Record(hwnd, commandLine, outputSize);
    return 0;
}
#endif
