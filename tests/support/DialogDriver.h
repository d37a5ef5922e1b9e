#pragma once
// Driving modal dialogs from inside their own message loop: a test queues
// steps with Later() before it starts the modal run; each step runs from
// whichever loop is running when it falls due. With what the tests read
// from the windows they drive: texts, places, pixels.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "win/ScopedHandle.h"

// Runs step from the thread's running message loop about ms from now.
void Later(UINT ms, std::function<void()> step);

// The visible dialog window of this thread whose caption is caption.
HWND FindThreadDialog(const std::string& caption);

std::string TextOf(HWND window);
std::string ItemTextOf(HWND dialog, int id);

// The primary monitor's work area, and a window's place on the screen.
RECT WorkArea();
RECT WindowArea(HWND window);
// Expects inner centred over outer, to the pixel that halving an odd size
// loses.
void ExpectCentredOver(const RECT& inner, const RECT& outer);

// Template dialog units of dialog converted to pixels.
RECT DialogUnits(HWND dialog, int left, int top, int width, int height);

// Handles the messages waiting for the thread (a posted command, say).
void PumpMessages();

// Whether some pixel of rect in dc has exactly colour.
bool HasPixel(HDC dc, const RECT& rect, COLORREF colour);

// A memory drawing context with a 32-bit bitmap, released on destruction.
class MemoryCanvas {
  public:
    MemoryCanvas(int width, int height);
    HDC dc() const { return dc_.get(); }

  private:
    // Released in reverse: the bitmap deselected, deleted, then the context.
    ScopedMemoryDc dc_;
    ScopedGdiObject bitmap_;
    std::optional<ScopedSelectObject> selected_;
};

class CDialog;
// Runs dialog modally; body runs once it shows, then the dialog is ended
// with -2 if body left it open. Returns what the modal run returned.
INT_PTR RunDialog(CDialog& dialog, const std::function<void(HWND dialog)>& body);
