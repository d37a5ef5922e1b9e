#pragma once
// The update list's colours, in one place for the list and for the tests
// that look at what it paints.
#include <windows.h>

// Background of the rows with an even index (the first, the third, ...).
constexpr COLORREF kEvenRowColour = RGB(224, 255, 224);

// Texts and marks: stamps and the mark of an entry to update; an archive
// stamp that differs and a failed copy; a stamp that matches and an
// unchanged entry; an updated entry; an entry not compared yet.
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kRed = RGB(240, 0, 0);
constexpr COLORREF kGrey = RGB(192, 192, 192);
constexpr COLORREF kDarkGreen = RGB(0, 128, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);
