#include "ui/UpdateList.h"

#include <cstdio>
#include <cstring>

#include "app/UpdaterApp.h"
#include "framework/Gdi.h"
#include "text/ShiftJis.h"
#include "ui/ListColours.h"
#include "win/ScopedHandle.h"

namespace {
// Second line of a two-line cell, below the first.
const int kLineStep = 15;

void DrawLine(HDC dc, const std::string& text, RECT& r, UINT flags) {
    ::DrawTextA(dc, text.c_str(), -1, &r, DT_SINGLELINE | DT_NOPREFIX | flags);
}

// A time text of an entry; its buffer may be full without a terminator.
std::string TimeText(const char (&text)[kTimeTextSize]) {
    return std::string(text, strnlen(text, kTimeTextSize));
}

std::string Number(int value) {
    char text[16];
    std::snprintf(text, sizeof(text), "%d", value);
    return text;
}
} // namespace

COLORREF MarkColour(EntryState state) {
    switch (state) {
    case NotCompared:
        return kBlack;
    case NeedsUpdate:
        return kBlue;
    case Unchanged:
        return kGrey;
    case Updated:
        return kDarkGreen;
    default:
        return kRed;
    }
}

UpdateList::~UpdateList() {
    FreeEntries();
}

void UpdateList::OnInitList() {
    InsertColumn(0, "No.", LVCFMT_RIGHT, 30);
    InsertColumn(1, "ﾊﾟｽ / ﾌｧｲﾙ名", LVCFMT_LEFT, 185);
    InsertColumn(2, "上:ﾛｰｶﾙ 下:ｱｰｶｲﾌﾞ", LVCFMT_CENTER, 120);
    InsertColumn(3, "ｻｲｽﾞ", LVCFMT_RIGHT, 60);
    InsertColumn(4, "処理", LVCFMT_CENTER, 50);
    LoadEntries();
}

void UpdateList::LoadEntries() {
    FreeEntries();
    auto* app = static_cast<UpdaterApp*>(AfxGetApp());
    head = LoadEntryChain(
        [app](const std::string& key) { return app->ReadProfileValue("UpdateFiles", key.c_str()); },
        [app](UpdateEntry& entry) {
            app->GetFileStamp(false, entry.folder + entry.fileName, entry.localTime, kTimeTextSize,
                              &entry.localSize);
        });
    FillItems();
}

void UpdateList::FreeEntries() {
    FreeEntryChain(head);
}

void UpdateList::FillItems() {
    // While it redraws, the control moves its header after every row and
    // invalidates itself for every cell set: most of the start-up with a
    // long list. Off, it is painted once, whole, when next painted.
    SetRedraw(FALSE);
    DeleteAllItems();
    const int columns = GetColumnCount();
    int i = 0;
    for (UpdateEntry* entry = head; entry != nullptr; entry = entry->next, ++i) {
        InsertItem(i, "", reinterpret_cast<LPARAM>(entry));
        for (int column = 1; column < columns; ++column)
            SetItemText(i, column, "");
    }
    SetRedraw(TRUE);
    // Turning redrawing back on need not invalidate anything, and the
    // header and scroll bars have moved too.
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

UpdateEntry* UpdateList::GetEntryAt(int item) const {
    if (item < 0 || item >= GetItemCount())
        return nullptr;
    return reinterpret_cast<UpdateEntry*>(GetItemData(item));
}

BOOL UpdateList::DrawSubItem(HDC dc, RECT cell, int item, int column, UINT) {
    const UpdateEntry* entry = GetEntryAt(item);
    if (entry == nullptr)
        return FALSE;

    RECT r = {cell.left + 6, cell.top + 2, cell.right - 6, cell.bottom - 2};
    CFont font;
    font.CreatePointFont(90, "ＭＳ Ｐゴシック", dc);
    const ScopedSelectObject selected(dc, font.GetSafeHandle());

    switch (column) {
    case 0:
        ::SetTextColor(dc, kBlue);
        DrawLine(dc, Number(item + 1), r, DT_RIGHT | DT_VCENTER);
        break;
    case 1:
        ::SetTextColor(dc, kBlue);
        DrawLine(dc, "./" + sjis::ReplaceChar(entry->folder, '\\', '/'), r, DT_LEFT);
        r.top += kLineStep;
        DrawLine(dc, entry->fileName, r, DT_LEFT);
        break;
    case 2: {
        ::SetTextColor(dc, kBlue);
        DrawLine(dc, TimeText(entry->localTime), r, DT_CENTER);
        r.top += kLineStep;
        const bool same = std::strncmp(entry->localTime, entry->archiveTime, kTimeTextSize) == 0;
        ::SetTextColor(dc, same ? kGrey : kRed);
        DrawLine(dc, TimeText(entry->archiveTime), r, DT_CENTER);
        break;
    }
    case 3:
        if (entry->localSize > 0) {
            ::SetTextColor(dc, kBlue);
            DrawLine(dc, Number(entry->localSize), r, DT_RIGHT);
        }
        r.top += kLineStep;
        if (entry->archiveSize > 0) {
            ::SetTextColor(dc, entry->archiveSize == entry->localSize ? kGrey : kRed);
            DrawLine(dc, Number(entry->archiveSize), r, DT_RIGHT);
        }
        break;
    case 4:
        ::SetTextColor(dc, MarkColour(entry->state));
        DrawLine(dc, EntryMark(entry->state), r, DT_CENTER | DT_VCENTER);
        break;
    default:
        break;
    }

    ::SetTextColor(dc, kBlack);
    return TRUE;
}
