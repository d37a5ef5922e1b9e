#include "engine/TarCommand.h"

std::string FillPlaceholders(const std::string& pattern, const std::vector<std::string>& values) {
    std::string text;
    text.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        // The template is plain ASCII, so '%' is never the trail byte of a
        // double-byte character here.
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '0' &&
            pattern[i + 1] <= '9') {
            const std::size_t n = static_cast<std::size_t>(pattern[i + 1] - '0');
            if (n < values.size()) {
                text += values[n];
                ++i;
                continue;
            }
        }
        text += pattern[i];
    }
    return text;
}

std::string TarCommandLine(const std::string& archivePath, const std::string& outputFolder) {
    return FillPlaceholders(kTarCommandTemplate, {"0", archivePath, outputFolder});
}
