// A program for the launch tests: it writes to <its own path>.marker how it
// was started (command line, current folder, show state, process group) and
// ends.
#include <windows.h>

#include <winternl.h>

#include <cstdio>

namespace {

// The show value its starter asked for, or -1 when it asked for none.
int ShowState() {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;
}

// Whether the process was made the root of a new process group (and so
// ignores Ctrl+C): the console flags of its process parameters, the field
// after the console handle, have their lowest bit set. The public header
// hides the field among reserved pointers; it sits in the low half of the
// second one on either pointer width.
int NewProcessGroup() {
    using QueryProcess = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryProcess>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    if (query == nullptr ||
        query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0)
        return -1;
    const RTL_USER_PROCESS_PARAMETERS* parameters = basic.PebBaseAddress->ProcessParameters;
    const auto consoleFlags =
        static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(parameters->Reserved2[1]));
    return static_cast<int>(consoleFlags & 1);
}

} // namespace

int main() {
    char self[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    char folder[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    char marker[MAX_PATH + 16];
    std::snprintf(marker, sizeof(marker), "%s.marker", self);
    char partial[MAX_PATH + 16];
    std::snprintf(partial, sizeof(partial), "%s.partial", self);
    // Written under another name first, so that a reader never sees half.
    FILE* file = std::fopen(partial, "wb");
    if (file == nullptr)
        return 1;
    std::fprintf(file, "%s\n%s\nshow %d\nnew process group %d\n", GetCommandLineA(), folder,
                 ShowState(), NewProcessGroup());
    std::fclose(file);
    return MoveFileExA(partial, marker, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
