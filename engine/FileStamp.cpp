#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/UpdaterApp.h"
#include "engine/TimeText.h"

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

    const std::uint64_t ticks = static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime)
                                    << 32 |
                                data.ftLastWriteTime.dwLowDateTime;
    if (!LocalTimeText(ticks, timeText, timeTextSize))
        return timeText;
    *size = static_cast<int>(data.nFileSizeLow);
    return timeText;
}

bool LocalTimeText(std::uint64_t utcTicks, char* text, int textSize) {
    // Local time by the time-zone rules of the date itself, to the second.
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(utcTicks);
    time.dwHighDateTime = static_cast<DWORD>(utcTicks >> 32);
    SYSTEMTIME utc, local;
    if (!FileTimeToSystemTime(&time, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return false;
    char written[32];
    int length =
        std::snprintf(written, sizeof(written), "%04u/%02u/%02u %02u:%02u:%02u", local.wYear,
                      local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond);
    if (length > 0 && textSize > 0) {
        // Always leave room for the terminating zero.
        std::size_t copy = std::min<std::size_t>(static_cast<std::size_t>(length),
                                                 static_cast<std::size_t>(textSize) - 1);
        std::memcpy(text, written, copy);
        text[copy] = '\0';
    }
    return true;
}
