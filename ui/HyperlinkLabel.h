#pragma once
// A static text control shown as a web link: blue, underlined, on the button
// face, with a hand pointer; releasing the left button over it opens its
// text with the shell. Needs a static with SS_NOTIFY to get the mouse.
#include <windows.h>

#include <string>

#include "framework/Controls.h"
#include "framework/Gdi.h"
#include "win/ScopedHandle.h"

class HyperlinkLabel : public CStatic {
  public:
    HyperlinkLabel();
    ~HyperlinkLabel() override;

    HBRUSH CtlColor(HDC dc, UINT controlKind);
    BOOL OnSetCursor(HWND window, UINT hitTest, UINT message);
    void OnLButtonUp(UINT flags, POINT point);

    HCURSOR m_hCursor = nullptr;
    CFont m_font;
    CBrush m_brush;

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

  private:
    ScopedCursor handCursor_; // the help viewer's hand, when it could be had
    bool fontTried_ = false;
};

// The help viewer's hand cursor (resource 106 of winhlp32.exe in
// windowsFolder), as a copy the caller owns; empty when it cannot be had.
ScopedCursor LoadHelpViewerHand(const std::string& windowsFolder);
