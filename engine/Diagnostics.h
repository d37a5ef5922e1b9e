#pragma once
// Causes of failures, for whoever supports a user: what the user is shown
// says what failed, these lines say why (Win32 error, HTTP status, the
// archive library's answer, the file involved). One line each, starting
// "Tovarind: ", to the debugger's output, where a debug viewer shows them.
#include <windows.h>

#include <functional>
#include <string>

// Writes one line "Tovarind: <what>" from a printf format.
void LogCause(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// "error N: <system text>" for a Win32 error code.
std::string Win32ErrorText(DWORD code);

// Where the lines go, one whole line a call without a line end; an empty
// sink sends them to OutputDebugStringA again. Returns the sink before.
using CauseSink = std::function<void(const std::string& line)>;
CauseSink SetCauseSink(CauseSink sink);
