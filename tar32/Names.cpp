#include "tar32/Names.h"

#include <cctype>
#include <cstring>

#include "tar32/Core.h"
#include "text/ShiftJis.h"

namespace tar32 {

MemberPath SplitMemberName(const std::string& name) {
    MemberPath path;
    std::string current;
    bool atStart = true;
    bool lastWasSeparator = false;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t next = sjis::NextChar(name, i);
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (next == i + 1 && (c == '/' || c == '\\')) {
            if (atStart && current.empty() && path.components.empty()) {
                path.absolute = true;
            } else if (!(atStart && current == ".")) {
                path.components.push_back(current);
                atStart = false;
            }
            current.clear();
            lastWasSeparator = true;
        } else {
            current.append(name, i, next - i);
            lastWasSeparator = false;
        }
        i = next;
    }
    if (!current.empty() || !lastWasSeparator) {
        path.components.push_back(current);
    }
    path.folder = lastWasSeparator;
    return path;
}

namespace {

bool IsDeviceName(const std::string& component) {
    // Windows takes the part before the first dot, blanks trimmed, as the device.
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && (base.back() == ' ' || base.back() == '\t')) {
        base.pop_back();
    }
    std::string upper;
    for (char c : base) {
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    static const char* const kFixed[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* fixed : kFixed) {
        if (upper == fixed) {
            return true;
        }
    }
    return upper.size() == 4 &&
           (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) &&
           upper[3] >= '0' && upper[3] <= '9';
}

} // namespace

const char* UnsafeComponentReason(const std::string& component) {
    if (component.empty()) {
        return "empty name";
    }
    if (component == "." || component == "..") {
        return "dot name";
    }
    for (std::size_t i = 0; i < component.size();) {
        const std::size_t next = sjis::NextChar(component, i);
        const unsigned char c = static_cast<unsigned char>(component[i]);
        if (next == i + 1) {
            if (sjis::IsLeadByte(c)) {
                return "broken double-byte character";
            }
            if (c < 0x20 || c == 0x7F) {
                return "control character";
            }
            if (std::strchr(":<>\"|?*/\\", c) != nullptr) {
                return "reserved character";
            }
        }
        i = next;
    }
    // Neither byte can be a trail byte, so the last byte is the last character.
    const char last = component.back();
    if (last == '.' || last == ' ') {
        return "ends in a dot or blank";
    }
    if (IsDeviceName(component)) {
        return "device name";
    }
    return nullptr;
}

std::vector<std::string> SafeOutputPath(const std::string& name, bool useDirectory) {
    const MemberPath path = SplitMemberName(name);
    std::vector<std::string> out;
    if (path.components.empty()) {
        // "./" or "/": the output folder itself, which is there already.
        if (path.folder && !(useDirectory && path.absolute)) {
            return out;
        }
        Fail(TAR32_ERROR_UNSAFE_NAME, "empty name: " + name);
    }
    if (useDirectory) {
        if (path.absolute) {
            Fail(TAR32_ERROR_UNSAFE_NAME, "absolute path: " + name);
        }
        out = path.components;
    } else {
        out.push_back(path.components.back());
    }
    for (const std::string& component : out) {
        if (const char* reason = UnsafeComponentReason(component)) {
            Fail(TAR32_ERROR_UNSAFE_NAME, std::string(reason) + ": " + name);
        }
    }
    return out;
}

} // namespace tar32
