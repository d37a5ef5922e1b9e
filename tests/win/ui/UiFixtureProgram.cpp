// Run by the link tests: leaves <its own path>.marker and ends.
#include <windows.h>

#include <string>

#include "win/ScopedHandle.h"

int main() {
    char self[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string marker = std::string(self) + ".marker";
    const ScopedFile file(CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? 0 : 1;
}
