#pragma once
// The command line as the application object sees it: split by the Windows
// rules and handed, one argument at a time, to a CCommandLineInfo.
#include <string>
#include <vector>

class CCommandLineInfo {
  public:
    virtual ~CCommandLineInfo() = default;

    // param has one leading '-' or '/' removed (isFlag is then true);
    // isLast is true for the final argument.
    virtual void ParseParam(const char* param, bool isFlag, bool isLast);
};

// Splits a whole command line (program name first) the way the C runtime of
// Windows does: blanks and tabs separate, double quotes group, 2n backslashes
// before a quote give n backslashes and a quote that groups, 2n+1 give n and a
// literal quote, "" inside quotes is a literal quote. A double-byte character
// is copied whole, so its trail byte is never taken for a backslash.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Hands every argument after the program name to info, in order.
void ParseCommandLineArguments(CCommandLineInfo& info, const std::vector<std::string>& arguments);
