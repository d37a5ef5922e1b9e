#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/UpdaterApp.h"

char* UpdaterApp::GetFileStamp(bool archiveSide, std::string relativePath, char* timeText,
                               int timeTextSize, int* size) {
    if (timeText == nullptr || size == nullptr)
        return timeText;
    if (timeTextSize > 0)
        std::memset(timeText, 0, static_cast<std::size_t>(timeTextSize));
    *size = 0;

    const std::string path = (archiveSide ? TempFolderPath() : ModuleFolder()) + relativePath;
    // The name is taken as written: no wildcard matching.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.find_first_of("*?") != std::string::npos ||
        !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return timeText;

    // Local time by the time-zone rules of the date itself, to the second.
    SYSTEMTIME utc, local;
    if (!FileTimeToSystemTime(&data.ftLastWriteTime, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return timeText;
    char text[32];
    int length = std::snprintf(text, sizeof(text), "%04u/%02u/%02u %02u:%02u:%02u", local.wYear,
                               local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond);
    if (length > 0 && timeTextSize > 0) {
        // Always leave room for the terminating zero.
        std::size_t copy = std::min<std::size_t>(static_cast<std::size_t>(length),
                                                 static_cast<std::size_t>(timeTextSize) - 1);
        std::memcpy(timeText, text, copy);
    }
    *size = static_cast<int>(data.nFileSizeLow);
    return timeText;
}
