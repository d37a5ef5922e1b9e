#pragma once
#include <windows.h>

// The hourglass for as long as the object lives.
class CWaitCursor {
  public:
    CWaitCursor() : previous_(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { SetCursor(previous_); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

  private:
    HCURSOR previous_;
};
