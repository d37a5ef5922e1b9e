#pragma once
// The main dialog's list of update entries: one two-line row per entry, the
// local stamp above the archive stamp, coloured so that a difference stands
// out, and the entry's mark. The list owns the chain of entries.
#include "engine/UpdateEntry.h"
#include "ui/ListCtrlEx.h"

class UpdateList : public CListCtrlEx {
  public:
    UpdateList() = default;
    ~UpdateList() override;

    // Releases any earlier chain, reads the entries from the settings file,
    // stamps their installed copies and fills the rows.
    void LoadEntries();
    void FreeEntries();
    // One row per entry; the rows' item data point at the entries.
    void FillItems();
    // The entry of row item, or null outside the rows.
    UpdateEntry* GetEntryAt(int item) const;

    UpdateEntry* head = nullptr;

  protected:
    void OnInitList() override;
    BOOL DrawSubItem(HDC dc, RECT cell, int item, int column, UINT state) override;
};

// Colour of a mark in the list.
COLORREF MarkColour(EntryState state);
