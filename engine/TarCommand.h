#pragma once
// The command line handed to tar32.dll and the placeholder filling behind
// it. No windows.h: built and tested natively too.
#include <string>
#include <vector>

// The template given to the library: %0 the dialog switch, %1 the archive,
// %2 the output folder.
constexpr const char* kTarCommandTemplate =
    "--use-directory=0 --display-dialog=%0 xvf \"%1\" -o \"%2\"";

// Replaces every %n (n a single digit below values.size()) of pattern by
// values[n], in one pass over the pattern: text that comes in through a
// value is never scanned again, so a path holding "%2" stays as it is.
// Any other '%' is copied unchanged.
std::string FillPlaceholders(const std::string& pattern, const std::vector<std::string>& values);

// The full command line: no progress window, archivePath unpacked into
// outputFolder (no trailing backslash) without the archive's folders.
std::string TarCommandLine(const std::string& archivePath, const std::string& outputFolder);
