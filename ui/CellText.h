#pragma once
// Text rules of the user interface that need no window: fitting a cell's text
// into its column and filling a caption template. No windows.h, so that they
// are tested natively.
#include <functional>
#include <string>

// Width of a text in pixels, in whatever font the caller draws with.
using TextWidthFn = std::function<int(const std::string& text)>;

struct FittedCellText {
    std::string text;
    bool shortened = false; // drawn left-aligned from the left inset only
};

// The text of a column columnWidth pixels wide. A text no wider than the
// column less 12 is kept whole. A wider one becomes the longest prefix that,
// with "..." behind it, is no wider than the column less 5, cut only between
// whole characters; never less than the first character and "...".
FittedCellText FitCellText(const std::string& text, int columnWidth, const TextWidthFn& width);

// format with every "%s" replaced by value (the first "%s" only: there is
// one argument) and "%%" by "%". value is inserted as it is; a percent sign
// in it means nothing. Other sequences stay as written.
std::string FormatOneString(const std::string& format, const std::string& value);
