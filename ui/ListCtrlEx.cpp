#include "ui/ListCtrlEx.h"

#include "framework/Gdi.h"
#include "text/ShiftJis.h"
#include "ui/CellText.h"
#include "ui/ListColours.h"

namespace {
// LVM_GETITEMTEXTA's room: at most 259 bytes of text.
const int kItemTextBuffer = 260;
} // namespace

void CListCtrlEx::InitList(int rowHeight) {
    m_nRowHeight = rowHeight;
    OnInitList();
}

void CListCtrlEx::MeasureItem(MEASUREITEMSTRUCT* measure) {
    measure->itemHeight = static_cast<UINT>(m_nRowHeight);
}

void CListCtrlEx::DrawItem(const DRAWITEMSTRUCT* draw) {
    HDC dc = draw->hDC;
    CSaveDC saved(dc);
    const int item = static_cast<int>(draw->itemID);
    const UINT state = GetItemState(item, LVIS_FOCUSED | LVIS_SELECTED);
    RECT bounds = {};
    GetItemRect(item, &bounds, LVIR_BOUNDS);

    const bool selected = (state & LVIS_SELECTED) != 0;
    if (selected) {
        ::SetTextColor(dc, ::GetSysColor(COLOR_HIGHLIGHTTEXT));
        FillSolidRect(dc, bounds, ::GetSysColor(COLOR_HIGHLIGHT));
    } else {
        FillSolidRect(dc, bounds, GetBkColor());
        if (item % 2 == 0) {
            CBrush green;
            if (green.CreateSolidBrush(kEvenRowColour))
                ::FillRect(dc, &bounds, green.GetSafeHandle());
        }
    }

    // The cells' texts stand on the row's colour: the light green of an
    // even row is painted with a brush and is not the text background.
    ::SetBkMode(dc, TRANSPARENT);

    int x = bounds.left;
    for (int column = 0;; ++column) {
        LVCOLUMNA info = {};
        info.mask = LVCF_FMT | LVCF_WIDTH;
        if (!GetColumn(column, &info))
            break;
        RECT cell = {x, bounds.top, x + info.cx, bounds.bottom};
        x += info.cx;
        if (!DrawSubItem(dc, cell, item, column, selected ? LVIS_SELECTED : 0))
            DrawCellText(dc, cell, item, column, info.fmt, info.cx);
    }

    if ((state & LVIS_FOCUSED) != 0 && ::GetFocus() == m_hWnd)
        ::DrawFocusRect(dc, &bounds);
}

void CListCtrlEx::DrawCellText(HDC dc, const RECT& cell, int item, int column, int format,
                               int width) {
    std::string text = GetItemText(item, column, kItemTextBuffer);
    // The control cuts a long text at its buffer's end, maybe after a lead
    // byte; a lone lead byte at the end is no character.
    if (!text.empty() && sjis::PrevChar(text, text.size()) == text.size() - 1 &&
        sjis::IsLeadByte(static_cast<unsigned char>(text.back())))
        text.pop_back();
    if (text.empty())
        return;

    const FittedCellText fitted = FitCellText(
        text, width, [this](const std::string& t) { return GetStringWidth(t.c_str()); });
    const UINT flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
    if (!fitted.shortened) {
        RECT r = {cell.left + 6, cell.top, cell.right - 6, cell.bottom};
        UINT align = DT_LEFT;
        if ((format & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT)
            align = DT_RIGHT;
        else if ((format & LVCFMT_JUSTIFYMASK) == LVCFMT_CENTER)
            align = DT_CENTER;
        ::DrawTextA(dc, fitted.text.c_str(), -1, &r, flags | align);
    } else {
        RECT r = {cell.left + 6, cell.top, cell.right, cell.bottom};
        ::DrawTextA(dc, fitted.text.c_str(), -1, &r, flags | DT_LEFT);
    }
}

void CListCtrlEx::OnFocusChanged(NMHDR*, LRESULT* result) {
    const int focused = GetNextItem(-1, LVNI_FOCUSED);
    if (focused != -1) {
        RECT bounds = {};
        GetItemRect(focused, &bounds, LVIR_BOUNDS);
        InvalidateRect(&bounds, FALSE);
    }
    UpdateWindow();
    *result = 0;
}

bool CListCtrlEx::OnChildNotify(UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
    switch (message) {
    case WM_DRAWITEM:
        DrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        *result = TRUE;
        return true;
    case WM_MEASUREITEM:
        MeasureItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
        *result = TRUE;
        return true;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == static_cast<UINT>(NM_SETFOCUS) ||
            header->code == static_cast<UINT>(NM_KILLFOCUS)) {
            OnFocusChanged(header, result);
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}
