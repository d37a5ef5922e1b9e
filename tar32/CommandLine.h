#pragma once
// The tar-like command line the library is called with.
#include <string>
#include <vector>

namespace tar32 {

struct Options {
    bool extract = false; // x (otherwise t: list only)
    bool verbose = false;
    bool useDirectory = true;
    std::string archive;
    std::string outputFolder; // empty: the current folder
};

// Splits at blanks and tabs; double quotes group and are removed; a backslash
// is an ordinary character. Shift-JIS aware: a trail byte is never taken for
// a quote or a blank.
std::vector<std::string> SplitArguments(const std::string& line);

// Throws Failure(TAR32_ERROR_COMMAND_LINE) on anything it does not know.
Options ParseCommandLine(const std::string& line);

} // namespace tar32
