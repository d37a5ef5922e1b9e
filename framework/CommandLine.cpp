#include "framework/CommandLine.h"

#include "text/ShiftJis.h"

void CCommandLineInfo::ParseParam(const char*, bool, bool) {}

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The program name: up to the first blank outside quotes; quotes only group.
std::size_t SplitProgramName(const std::string& line, std::string& name) {
    std::size_t i = 0;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
        if (line[i] == '"') {
            quoted = !quoted;
            ++i;
            continue;
        }
        std::size_t next = sjis::NextChar(line, i);
        name.append(line, i, next - i);
        i = next;
    }
    return i;
}

} // namespace

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> args;
    std::string name;
    std::size_t i = SplitProgramName(line, name);
    args.push_back(name);

    for (;;) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        if (i >= line.size())
            break;
        std::string arg;
        bool quoted = false;
        while (i < line.size() && (quoted || !IsBlank(line[i]))) {
            if (line[i] == '\\') {
                std::size_t run = 0;
                while (i < line.size() && line[i] == '\\') {
                    ++run;
                    ++i;
                }
                if (i < line.size() && line[i] == '"') {
                    arg.append(run / 2, '\\');
                    if (run % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(run, '\\');
                }
                continue;
            }
            if (line[i] == '"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            std::size_t next = sjis::NextChar(line, i);
            arg.append(line, i, next - i);
            i = next;
        }
        args.push_back(arg);
    }
    return args;
}

void ParseCommandLineArguments(CCommandLineInfo& info, const std::vector<std::string>& arguments) {
    for (std::size_t n = 1; n < arguments.size(); ++n) {
        const char* param = arguments[n].c_str();
        bool isFlag = false;
        if (param[0] == '-' || param[0] == '/') {
            isFlag = true;
            ++param;
        }
        info.ParseParam(param, isFlag, n + 1 == arguments.size());
    }
}
