#include "engine/Diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

namespace {

CauseSink& Sink() {
    static CauseSink sink;
    return sink;
}

} // namespace

void LogCause(const char* format, ...) {
    char text[4096]; // room for a command line with two long paths
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    const std::string line = std::string("Tovarind: ") + text;
    if (Sink()) {
        Sink()(line);
        return;
    }
    OutputDebugStringA((line + "\n").c_str());
}

std::string Win32ErrorText(DWORD code) {
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof(text), nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return "error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
}

CauseSink SetCauseSink(CauseSink sink) {
    return std::exchange(Sink(), std::move(sink));
}
