#include "framework/Controls.h"

#include <vector>

int CListCtrl::GetColumnCount() const {
    HWND header = GetHeaderCtrl();
    return header == nullptr ? 0 : static_cast<int>(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
}

int CListCtrl::InsertColumn(int index, const char* heading, int format, int width) {
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<char*>(heading);
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMNA, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(&column)));
}

int CListCtrl::InsertItem(int item, const char* text, LPARAM data) {
    LVITEMA row = {};
    row.mask = LVIF_TEXT | LVIF_PARAM;
    row.iItem = item;
    row.pszText = const_cast<char*>(text);
    row.lParam = data;
    return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&row)));
}

BOOL CListCtrl::SetItemText(int item, int subItem, const char* text) {
    LVITEMA cell = {};
    cell.mask = LVIF_TEXT;
    cell.iItem = item;
    cell.iSubItem = subItem;
    cell.pszText = const_cast<char*>(text);
    return static_cast<BOOL>(SendMessage(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&cell)));
}

std::string CListCtrl::GetItemText(int item, int subItem, int bufferSize) const {
    std::vector<char> buffer(static_cast<std::size_t>(bufferSize > 0 ? bufferSize : 1), '\0');
    LVITEMA cell = {};
    cell.iSubItem = subItem;
    cell.pszText = buffer.data();
    cell.cchTextMax = static_cast<int>(buffer.size());
    SendMessage(LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell));
    buffer.back() = '\0';
    return buffer.data();
}

LPARAM CListCtrl::GetItemData(int item) const {
    LVITEMA row = {};
    row.mask = LVIF_PARAM;
    row.iItem = item;
    if (!SendMessage(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&row)))
        return 0;
    return row.lParam;
}

BOOL CListCtrl::GetItemRect(int item, RECT* rect, int code) const {
    rect->left = code;
    return static_cast<BOOL>(
        SendMessage(LVM_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(rect)));
}
