#include "ui/CellText.h"

#include "text/ShiftJis.h"

FittedCellText FitCellText(const std::string& text, int columnWidth, const TextWidthFn& width) {
    FittedCellText fitted;
    if (text.empty() || width(text) <= columnWidth - 12) {
        fitted.text = text;
        return fitted;
    }
    fitted.shortened = true;
    // Cut back one character at a time from the end until the prefix and
    // the dots fit; the first character stays whatever its width.
    std::size_t end = text.size();
    for (;;) {
        fitted.text = text.substr(0, end) + "...";
        if (width(fitted.text) <= columnWidth - 5)
            break;
        std::size_t previous = sjis::PrevChar(text, end);
        if (previous == 0)
            break;
        end = previous;
    }
    return fitted;
}

std::string FormatOneString(const std::string& format, const std::string& value) {
    std::string result;
    bool used = false;
    // Trail bytes of double-byte characters are 0x40 or above, so a '%'
    // byte is always a character of its own.
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == '%') {
                result += '%';
                ++i;
                continue;
            }
            if (format[i + 1] == 's') {
                if (!used)
                    result += value;
                used = true;
                ++i;
                continue;
            }
        }
        result += format[i];
    }
    return result;
}
