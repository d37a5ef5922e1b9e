#pragma once
// Driving another process's windows the way a user would: find its dialogs
// and message boxes, read their texts, press their buttons, and capture what
// is on the screen.
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

// The visible top-level windows of a process.
std::vector<HWND> TopLevelWindows(DWORD processId);

// Waits until match accepts a visible top-level window of the process.
HWND WaitForWindow(DWORD processId, const std::function<bool(HWND)>& match, DWORD timeoutMs);

// Waits for a visible top-level window whose caption is exactly title, or
// contains it when partial is true.
HWND WaitForCaption(DWORD processId, const std::string& title, bool partial, DWORD timeoutMs);

// Waits for a visible top-level window of any process whose caption
// contains part.
HWND WaitForAnyCaption(const std::string& part, DWORD timeoutMs);

// Captions (and message texts) of the process's visible windows, for a
// failure report.
std::string DescribeWindows(DWORD processId);

std::string WindowText(HWND window);
std::string ClassName(HWND window);
std::string ItemText(HWND dialog, int id);
bool ItemEnabled(HWND dialog, int id);

// Presses a dialog's button as a click would (BN_CLICKED to its dialog).
void PressButton(HWND dialog, int id);

// A message box of the process: its caption, its text and the window.
struct SeenMessageBox {
    HWND window = nullptr;
    std::string caption;
    std::string text;
};
SeenMessageBox WaitForMessageBox(DWORD processId, const std::string& caption, DWORD timeoutMs);

// Lets the process's windows settle (paint) before looking at them.
void Settle(DWORD ms = 400);

// A capture of part of the screen, as the user sees it.
class ScreenCapture {
  public:
    explicit ScreenCapture(const RECT& area);
    int Width() const { return width_; }
    int Height() const { return height_; }
    COLORREF Pixel(int x, int y) const;
    int Count(COLORREF colour) const;
    bool SaveBmp(const std::string& path) const;

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<unsigned char> bgr_; // bottom-up rows of 3-byte pixels, 4-byte aligned
    int stride_ = 0;
};

RECT WindowArea(HWND window);
RECT ScreenArea();
