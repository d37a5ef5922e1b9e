#include "app/UpdaterCommandLine.h"

#include <windows.h>

void UpdaterCommandLine::ParseParam(const char* param, bool, bool) {
    if (param == nullptr || param[0] == '\0')
        return;
    // The name is joined to the program folder as text; an absolute path
    // thus only counts when the joined path happens to exist. Wildcards are
    // not expanded: the name must exist as written.
    std::string path = moduleFolder_ + param;
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        m_strSettingsName = param;
}
