#pragma once
// The standard controls the program binds to: thin wrappers of their
// messages over a subclassed control window.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "framework/Wnd.h"

class CButton : public CWnd {};

class CStatic : public CWnd {};

class CListCtrl : public CWnd {
  public:
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
    HWND GetHeaderCtrl() const { return reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER)); }
    int GetColumnCount() const;
    int InsertColumn(int index, const char* heading, int format, int width);
    BOOL GetColumn(int index, LVCOLUMNA* column) const {
        return static_cast<BOOL>(SendMessage(LVM_GETCOLUMNA, static_cast<WPARAM>(index),
                                             reinterpret_cast<LPARAM>(column)));
    }
    int InsertItem(int item, const char* text, LPARAM data);
    BOOL SetItemText(int item, int subItem, const char* text);
    std::string GetItemText(int item, int subItem, int bufferSize) const;
    LPARAM GetItemData(int item) const;
    UINT GetItemState(int item, UINT mask) const {
        return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(item), mask));
    }
    BOOL GetItemRect(int item, RECT* rect, int code) const;
    int GetNextItem(int item, int flags) const {
        return static_cast<int>(
            SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(item), MAKELPARAM(flags, 0)));
    }
    int GetStringWidth(const char* text) const {
        return static_cast<int>(
            SendMessage(LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text)));
    }
    COLORREF GetBkColor() const { return static_cast<COLORREF>(SendMessage(LVM_GETBKCOLOR)); }
};
