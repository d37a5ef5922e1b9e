#pragma once
// Another process's windows worked as a user would: found, read, pressed,
// and captured as they are on the screen.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "win/ScopedHandle.h"

// A process started for the test; ended on destruction if still running.
class RunningProgram {
  public:
    RunningProgram(const std::string& exe, const std::string& arguments,
                   const std::string& currentFolder);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;
    bool Started() const { return static_cast<bool>(process_.process); }
    DWORD Id() const { return id_; }
    bool WaitForExit(DWORD timeoutMs);

  private:
    ScopedProcessInformation process_;
    DWORD id_ = 0;
};

// Waits until match accepts a visible top-level window of the process (of
// any process when processId is 0).
HWND WaitForWindow(DWORD processId, const std::function<bool(HWND)>& match, DWORD timeoutMs);
// The same for a caption that is title, or with partial contains it.
HWND WaitForCaption(DWORD processId, const std::string& title, bool partial, DWORD timeoutMs);
// A message box (a dialog with the static text 0xFFFF) of the process.
struct SeenMessageBox {
    HWND window = nullptr;
    std::string caption, text;
};
SeenMessageBox WaitForMessageBox(DWORD processId, const std::string& caption, DWORD timeoutMs);
// Classes, captions and message texts of the process's windows, for a failure report.
std::string DescribeWindows(DWORD processId);

std::string WindowText(HWND window);
std::string ClassName(HWND window);
std::string ItemText(HWND dialog, int id);
bool ItemEnabled(HWND dialog, int id);
void PressButton(HWND dialog, int id); // BN_CLICKED to its dialog, as a click
void Settle(DWORD ms = 400);           // lets the windows paint before a look

// A capture of part of the screen, as the user sees it.
class ScreenCapture {
  public:
    explicit ScreenCapture(const RECT& area);
    COLORREF Pixel(int x, int y) const;
    int Count(COLORREF colour) const;
    bool SaveBmp(const std::string& path) const;

  private:
    BITMAPINFOHEADER Header() const;
    int width_ = 0, height_ = 0, stride_ = 0;
    std::vector<unsigned char> bgr_; // bottom-up rows of 3-byte pixels, 4-byte aligned
};
RECT WindowArea(HWND window);
RECT ScreenArea();
