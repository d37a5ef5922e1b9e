// A program for the launch tests: it writes its command line and current
// folder to <its own path>.marker and ends.
#include <windows.h>

#include <cstdio>

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
    std::fprintf(file, "%s\n%s\n", GetCommandLineA(), folder);
    std::fclose(file);
    return MoveFileExA(partial, marker, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
