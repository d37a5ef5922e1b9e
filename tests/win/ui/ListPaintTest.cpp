// The list's rows painted through the dialog's owner-draw path into a memory
// bitmap: backgrounds and the colours of the cells' texts.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "res/resource.h"
#include "tests/support/SystemTexts.h"
#include "tests/win/ui/UiFixture.h"
#include "ui/ListColours.h"
#include "ui/MainDialog.h"

namespace {

// Left edges of the five columns, from the row's left.
const int kColumnLeft[] = {0, 30, 215, 335, 395, 445};

class ListPaintTest : public UiTest {
  protected:
    ListPaintTest() : canvas(600, 300) {
        WriteFileBytes(folder / "One.dat", std::string(100, 'x'));
        WriteFileBytes(folder / "Two.dat", std::string(200, 'x'));
        WriteFileBytes(folder / "Three.dat", std::string(300, 'x'));
        app.WriteSettings("[Archive]\r\nURL=http://127.0.0.1:9/a.zip\r\n[UpdateFiles]\r\n"
                          "F01=One.dat\r\nF02=Two.dat\r\nF03=Three.dat,表示\\sub\\\r\n");
        EXPECT_TRUE(app.LoadSettings());
    }

    // Paints row item into dc (the canvas unless given) as the list control
    // asks its parent to; returns the row's bounds.
    RECT PaintRow(HWND window, UpdateList& list, int item, HDC dc = nullptr) {
        RECT bounds = {};
        list.GetItemRect(item, &bounds, LVIR_BOUNDS);
        DRAWITEMSTRUCT draw = {};
        draw.CtlType = ODT_LISTVIEW;
        draw.CtlID = IDC_UPDATE_LIST;
        draw.itemID = static_cast<UINT>(item);
        draw.itemAction = ODA_DRAWENTIRE;
        draw.hwndItem = list.m_hWnd;
        draw.hDC = dc != nullptr ? dc : canvas.dc();
        draw.rcItem = bounds;
        EXPECT_TRUE(
            SendMessageA(window, WM_DRAWITEM, IDC_UPDATE_LIST, reinterpret_cast<LPARAM>(&draw)));
        return bounds;
    }

    // The first (or second) text line of a column within the row.
    static RECT Line(const RECT& row, int column, int line) {
        const int top = row.top + (line == 0 ? 2 : 17);
        return {row.left + kColumnLeft[column], top, row.left + kColumnLeft[column + 1],
                line == 0 ? top + 15 : row.bottom};
    }
    // The whole height of a column within the row.
    static RECT Cell(const RECT& row, int column) {
        return {row.left + kColumnLeft[column], row.top, row.left + kColumnLeft[column + 1],
                row.bottom};
    }
    // A text painted in a row: the column it stands in, its line (0 the
    // first, 1 the second) and the text.
    using DrawnText = std::tuple<int, int, std::string>;

    // Paints row item into an enhanced metafile, which records every text
    // as it is drawn; the texts come back sorted by column and line.
    std::vector<DrawnText> TextsOfRow(HWND window, UpdateList& list, int item) {
        HDC recorder = CreateEnhMetaFileA(ScopedWindowDc(window).get(), nullptr, nullptr, nullptr);
        const RECT row = PaintRow(window, list, item, recorder);
        HENHMETAFILE recording = CloseEnhMetaFile(recorder);
        struct Reading {
            RECT row;
            std::vector<DrawnText> texts;
        } reading = {row, {}};
        EnumEnhMetaFile(
            nullptr, recording,
            [](HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM data) CALLBACK -> int {
                if (record->iType != EMR_EXTTEXTOUTW)
                    return 1;
                const auto* out = reinterpret_cast<const EMREXTTEXTOUTW*>(record);
                if (out->emrtext.nChars == 0) // a fill, not a text
                    return 1;
                auto* r = reinterpret_cast<Reading*>(data);
                const auto* wide = reinterpret_cast<const wchar_t*>(
                    reinterpret_cast<const char*>(record) + out->emrtext.offString);
                char text[256] = {};
                WideCharToMultiByte(932, 0, wide, static_cast<int>(out->emrtext.nChars), text,
                                    sizeof(text) - 1, nullptr, nullptr);
                // A text wider than its cell starts outside it; the rectangle
                // it is clipped to is the cell's.
                const bool clipped = (out->emrtext.fOptions & ETO_CLIPPED) != 0;
                const RECTL& clip = out->emrtext.rcl;
                const int x =
                    (clipped ? (clip.left + clip.right) / 2 : out->emrtext.ptlReference.x) -
                    r->row.left;
                const int y = (clipped ? clip.top : out->emrtext.ptlReference.y) - r->row.top;
                int column = 0;
                while (column < 4 && x >= kColumnLeft[column + 1])
                    ++column;
                const int line = y < 15 ? 0 : 1;
                r->texts.emplace_back(column, line, text);
                return 1;
            },
            &reading, nullptr);
        DeleteEnhMetaFile(recording);
        std::sort(reading.texts.begin(), reading.texts.end());
        return reading.texts;
    }

    static void SelectAndFocus(UpdateList& list, int item) {
        LVITEMA state = {};
        state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(list.m_hWnd, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&state));
    }

    // The window as it stands on screen: frame, header and scroll bars too.
    static std::vector<std::uint32_t> Snapshot(HWND window) {
        RECT rect;
        GetWindowRect(window, &rect);
        const int width = rect.right - rect.left, height = rect.bottom - rect.top;
        MemoryCanvas shot(width, height);
        HDC dc = GetWindowDC(window);
        BitBlt(shot.dc(), 0, 0, width, height, dc, 0, 0, SRCCOPY);
        ReleaseDC(window, dc);
        GdiFlush();
        DIBSECTION section = {};
        GetObjectA(GetCurrentObject(shot.dc(), OBJ_BITMAP), sizeof(section), &section);
        const auto* bits = static_cast<const std::uint32_t*>(section.dsBm.bmBits);
        return std::vector<std::uint32_t>(bits, bits + width * height);
    }
    static int Differences(const std::vector<std::uint32_t>& a,
                           const std::vector<std::uint32_t>& b) {
        if (a.size() != b.size())
            return -1;
        int count = 0;
        for (std::size_t i = 0; i < a.size(); ++i)
            count += a[i] != b[i];
        return count;
    }

    MemoryCanvas canvas;
};

// Where a colour must (or must not) show in a painted row: the row, its
// column and line (0 the first, 1 the second, kCell the whole cell).
constexpr int kCell = 2;
struct ColourCheck {
    int item, column, line;
    COLORREF colour;
    bool present;
};

TEST_F(ListPaintTest, RowBackgroundsAndTextColours) {
    RunMain([&](HWND window, MainDialog& dialog) {
        UpdateList& list = dialog.m_listUpdate;
        UpdateEntry* one = list.GetEntryAt(0);
        UpdateEntry* two = list.GetEntryAt(1);
        UpdateEntry* three = list.GetEntryAt(2);
        ASSERT_TRUE(one && two && three);
        // One: newer archive copy of the same size; two: same time, other
        // size; three: a state outside the known ones, and selected.
        lstrcpyA(one->archiveTime, "2001/02/03 04:05:06");
        one->archiveSize = one->localSize;
        one->state = NeedsUpdate;
        lstrcpyA(two->archiveTime, two->localTime);
        two->archiveSize = 5;
        two->state = Updated;
        three->state = static_cast<EntryState>(7);
        SelectAndFocus(list, 2);
        const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);

        // The rows do not overlap: all three stay on the canvas.
        RECT rows[3];
        for (int item = 0; item < 3; ++item) {
            rows[item] = PaintRow(window, list, item);
            EXPECT_EQ(30, rows[item].bottom - rows[item].top);
        }
        // Each row's background at its top left, and a colour found nowhere in
        // it: the texts stand on the row's own colour, not on boxes of another.
        const struct {
            int item;
            COLORREF background, absent;
        } backgrounds[] = {{0, kEvenRowColour, list.GetBkColor()},
                           {1, list.GetBkColor(), kEvenRowColour},
                           {2, highlight, kEvenRowColour}};
        for (const auto& b : backgrounds) {
            const RECT& row = rows[b.item];
            EXPECT_EQ(b.background, GetPixel(canvas.dc(), row.left + 1, row.top + 1)) << b.item;
            EXPECT_FALSE(HasPixel(canvas.dc(), row, b.absent)) << b.item;
        }
        EXPECT_EQ(highlight,
                  GetPixel(canvas.dc(), rows[2].left + kColumnLeft[4] - 2, rows[2].top + 1));
        // The first row's archive time is newer (red), its size the same
        // (grey); the second's the other way round; the selected third has
        // no archive stamp yet, so its second lines of columns 2 and 3 are
        // empty. The marks take the state's colour.
        const ColourCheck checks[] = {
            {0, 0, kCell, kBlue, true},      {0, 1, 0, kBlue, true}, {0, 1, 1, kBlue, true},
            {0, 2, 0, kBlue, true},          {0, 2, 1, kRed, true},  {0, 2, 1, kGrey, false},
            {0, 3, 0, kBlue, true},          {0, 3, 1, kGrey, true}, {0, 3, 1, kRed, false},
            {0, 4, kCell, kBlue, true},      {1, 2, 1, kGrey, true}, {1, 3, 1, kRed, true},
            {1, 4, kCell, kDarkGreen, true}, {2, 1, 0, kBlue, true}, {2, 4, kCell, kRed, true},
            {2, 2, 1, kRed, false},          {2, 3, 1, kRed, false}, {2, 3, 1, kGrey, false}};
        for (const ColourCheck& c : checks) {
            const RECT& row = rows[c.item];
            const RECT where = c.line == kCell ? Cell(row, c.column) : Line(row, c.column, c.line);
            EXPECT_EQ(c.present, HasPixel(canvas.dc(), where, c.colour))
                << "row " << c.item << " column " << c.column << " line " << c.line << " colour "
                << std::hex << c.colour;
        }
    });
}

// What each cell says: the row number; "./" and the folder with "/" for
// every "\\" (not the trail byte of "表"), then the file name; the local
// stamp above the archive stamp; the mark. Empty stamps and sizes of 0 draw
// nothing, so an archive size stands on the second line alone.
TEST_F(ListPaintTest, CellTexts) {
    RunMain([&](HWND window, MainDialog& dialog) {
        UpdateList& list = dialog.m_listUpdate;
        UpdateEntry* one = list.GetEntryAt(0);
        UpdateEntry* three = list.GetEntryAt(2);
        ASSERT_TRUE(one && three);
        lstrcpyA(one->archiveTime, "2001/02/03 04:05:06");
        one->archiveSize = 12345678;
        one->state = NeedsUpdate;
        lstrcpyA(three->archiveTime, "2024/05/06 07:08:10");
        three->archiveSize = 4096;
        three->state = CopyFailed;
        const std::string oneTime = LocalWriteTimeText(folder / "One.dat");
        const std::string twoTime = LocalWriteTimeText(folder / "Two.dat");
        const struct {
            int item;
            std::vector<DrawnText> texts;
        } rows[] = {
            {0,
             {{0, 0, "1"},
              {1, 0, "./"},
              {1, 1, "One.dat"},
              {2, 0, oneTime},
              {2, 1, "2001/02/03 04:05:06"},
              {3, 0, "100"},
              {3, 1, "12345678"},
              {4, 0, texts::kMarkNeedsUpdate}}},
            {1, // not compared yet: no archive stamp
             {{0, 0, "2"},
              {1, 0, "./"},
              {1, 1, "Two.dat"},
              {2, 0, twoTime},
              {3, 0, "200"},
              {4, 0, texts::kMarkNotCompared}}},
            {2, // not installed: no local stamp
             {{0, 0, "3"},
              {1, 0, "./表示/sub/"},
              {1, 1, "Three.dat"},
              {2, 1, "2024/05/06 07:08:10"},
              {3, 1, "4096"},
              {4, 0, texts::kMarkFailed}}},
        };
        for (const auto& row : rows)
            EXPECT_EQ(row.texts, TextsOfRow(window, list, row.item)) << "row " << row.item;
    });
}

TEST_F(ListPaintTest, FocusRectangleOnlyWhileTheListHasTheFocus) {
    RunMain([&](HWND window, MainDialog& dialog) {
        UpdateList& list = dialog.m_listUpdate;
        SelectAndFocus(list, 1);
        const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);

        SetFocus(GetDlgItem(window, IDCANCEL));
        RECT row = PaintRow(window, list, 1);
        RECT edge = {row.left, row.top, row.left + kColumnLeft[1], row.top + 1};
        for (int x = edge.left; x < edge.right; ++x)
            ASSERT_EQ(highlight, GetPixel(canvas.dc(), x, edge.top)) << x;

        list.SetFocus();
        ASSERT_EQ(list.m_hWnd, GetFocus());
        PaintRow(window, list, 1);
        int changed = 0;
        for (int x = edge.left; x < edge.right; ++x)
            changed += GetPixel(canvas.dc(), x, edge.top) != highlight;
        EXPECT_GT(changed, 0);
    });
}

TEST_F(ListPaintTest, RowWithoutEntryShowsTheControlsOwnText) {
    RunMain([&](HWND window, MainDialog& dialog) {
        UpdateList& list = dialog.m_listUpdate;
        ASSERT_EQ(3, list.InsertItem(3, "", 0));
        list.SetItemText(3, 1, "generic text");
        ASSERT_EQ(nullptr, list.GetEntryAt(3));
        SetTextColor(canvas.dc(), kBlack);
        RECT row = PaintRow(window, list, 3);
        EXPECT_EQ(list.GetBkColor(), GetPixel(canvas.dc(), row.left + 1, row.top + 1));
        EXPECT_TRUE(HasPixel(canvas.dc(), Cell(row, 1), kBlack));
        EXPECT_FALSE(HasPixel(canvas.dc(), Cell(row, 0), kBlue));
    });
}

TEST_F(ListPaintTest, FirstPaintIsTheWholeListAsIfFilledRowByRowOnScreen) {
    // More rows than fit: the scroll bar and the header move with the rows.
    std::string ini = "[Archive]\r\nURL=http://127.0.0.1:9/a.zip\r\n[UpdateFiles]\r\n";
    const int rows = 40;
    for (int n = 1; n <= rows; ++n)
        ini += EntryKeyName(n) + "=File" + std::to_string(n) + ".dat" +
               (n % 2 ? ",sub\\\r\n" : "\r\n");
    app.WriteSettings(ini);
    RunMain([&](HWND, MainDialog& dialog) {
        UpdateList& list = dialog.m_listUpdate;
        ASSERT_EQ(rows, list.GetItemCount());
        SCROLLINFO scroll = {};
        scroll.cbSize = sizeof(scroll);
        scroll.fMask = SIF_RANGE | SIF_PAGE;
        ASSERT_TRUE(GetScrollInfo(list.m_hWnd, SB_VERT, &scroll));
        EXPECT_GT(scroll.nMax - scroll.nMin + 1, static_cast<int>(scroll.nPage));
        const std::vector<std::uint32_t> first = Snapshot(list.m_hWnd);
        const std::uint32_t green = 0xE0FFE0; // the first row's, as the bitmap holds it
        EXPECT_NE(0, std::count(first.begin(), first.end(), green)) << "no light-green row";

        // The same rows inserted while the control redraws after each one.
        list.DeleteAllItems();
        int i = 0;
        for (UpdateEntry* entry = list.head; entry != nullptr; entry = entry->next, ++i) {
            list.InsertItem(i, "", reinterpret_cast<LPARAM>(entry));
            for (int column = 1; column < 5; ++column)
                list.SetItemText(i, column, "");
        }
        const UINT paintAll =
            RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW;
        RedrawWindow(list.m_hWnd, nullptr, nullptr, paintAll);
        EXPECT_EQ(0, Differences(first, Snapshot(list.m_hWnd)));

        // Refilled while shown, over a scribbled window: painted whole again.
        HDC dc = GetWindowDC(list.m_hWnd);
        RECT all = {0, 0, 2000, 2000};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        ReleaseDC(list.m_hWnd, dc);
        list.FillItems();
        RedrawWindow(list.m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        EXPECT_EQ(rows, list.GetItemCount());
        EXPECT_EQ(0, Differences(first, Snapshot(list.m_hWnd)));
    });
}

} // namespace
