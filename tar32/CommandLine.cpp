#include "tar32/CommandLine.h"

#include "tar32/Core.h"
#include "tar32/Names.h"
#include "text/ShiftJis.h"

namespace tar32 {

std::vector<std::string> SplitArguments(const std::string& line) {
    std::vector<std::string> args;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t next = sjis::NextChar(line, i);
        const char c = line[i];
        if (next == i + 1 && c == '"') {
            quoted = !quoted;
            inArgument = true; // "" is an empty argument
        } else if (next == i + 1 && !quoted && (c == ' ' || c == '\t')) {
            if (inArgument) {
                args.push_back(current);
            }
            current.clear();
            inArgument = false;
        } else {
            current.append(line, i, next - i);
            inArgument = true;
        }
        i = next;
    }
    if (inArgument) {
        args.push_back(current);
    }
    return args;
}

namespace {

[[noreturn]] void Bad(const std::string& why) {
    Fail(TAR32_ERROR_COMMAND_LINE, why);
}

bool ParseFlag(const std::string& value, const std::string& arg) {
    if (value == "0") {
        return false;
    }
    if (value == "1") {
        return true;
    }
    Bad("bad value: " + arg);
}

bool IsCommandWord(const std::string& arg) {
    const std::size_t start = (!arg.empty() && arg[0] == '-') ? 1 : 0;
    if (arg.size() <= start) {
        return false;
    }
    for (std::size_t i = start; i < arg.size(); ++i) {
        if (std::string("xtvf").find(arg[i]) == std::string::npos) {
            return false;
        }
    }
    return true;
}

} // namespace

Options ParseCommandLine(const std::string& line) {
    Options options;
    const std::vector<std::string> args = SplitArguments(line);
    bool haveCommand = false;
    bool wantArchive = false;
    bool haveArchive = false;
    bool haveOutput = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.compare(0, 2, "--") == 0) {
            const std::size_t eq = arg.find('=');
            if (eq == std::string::npos) {
                Bad("unknown option: " + arg);
            }
            const std::string name = arg.substr(2, eq - 2);
            const std::string value = arg.substr(eq + 1);
            if (name == "use-directory") {
                options.useDirectory = ParseFlag(value, arg);
            } else if (name == "display-dialog") {
                ParseFlag(value, arg); // never shows a window either way
            } else {
                Bad("unknown option: " + arg);
            }
        } else if (arg == "-o") {
            if (haveOutput || i + 1 >= args.size()) {
                Bad("-o needs one folder");
            }
            options.outputFolder = args[++i];
            haveOutput = true;
            if (options.outputFolder.empty()) {
                Bad("empty output folder");
            }
        } else if (!haveCommand && IsCommandWord(arg)) {
            haveCommand = true;
            int commands = 0;
            for (char c : arg) {
                if (c == 'x' || c == 't') {
                    options.extract = c == 'x';
                    ++commands;
                } else if (c == 'v') {
                    options.verbose = true;
                } else if (c == 'f') {
                    if (wantArchive) {
                        Bad("f given twice");
                    }
                    wantArchive = true;
                }
            }
            if (commands != 1) {
                Bad("the command word needs exactly one of x and t: " + arg);
            }
        } else if (wantArchive && !haveArchive) {
            options.archive = arg;
            haveArchive = true;
        } else {
            Bad("unexpected argument: " + arg);
        }
    }
    if (!haveCommand) {
        Bad("no command (x or t)");
    }
    if (!haveArchive) {
        Bad("no archive (f and a file name)");
    }
    return options;
}

} // namespace tar32
