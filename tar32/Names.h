#pragma once
// Member names: splitting into components and the rules that keep every
// written file inside the output folder.
#include <string>
#include <vector>

namespace tar32 {

// A stored name split at "/" and at "\" (a 0x5C trail byte is no separator).
struct MemberPath {
    std::vector<std::string> components; // leading "./" and "/" dropped
    bool absolute = false;               // began with a separator
    bool folder = false;                 // ended with a separator
};
MemberPath SplitMemberName(const std::string& name);

// Why a single component may not be written, or nullptr when it may.
const char* UnsafeComponentReason(const std::string& component);

// The components to write below the output folder, checked. With
// useDirectory false that is the bare name alone; a folder member "./" gives
// none (the output folder itself). Throws Failure(TAR32_ERROR_UNSAFE_NAME).
std::vector<std::string> SafeOutputPath(const std::string& name, bool useDirectory);

} // namespace tar32
