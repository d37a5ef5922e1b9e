#pragma once
// An owner-drawn report list with a fixed row height: it paints the row
// backgrounds (selection, every other row light green), asks its subclass to
// paint each cell, draws the control's own text where the subclass declines
// a cell, and draws the focus rectangle.
#include <windows.h>

#include "framework/Controls.h"

class CListCtrlEx : public CListCtrl {
  public:
    CListCtrlEx() = default;
    ~CListCtrlEx() override = default;

    // Stores the row height, then lets the subclass make columns and rows.
    void InitList(int rowHeight);

    virtual void DrawItem(const DRAWITEMSTRUCT* draw);
    virtual void MeasureItem(MEASUREITEMSTRUCT* measure);
    void OnFocusChanged(NMHDR* header, LRESULT* result);

    int m_nRowHeight = 20;

  protected:
    virtual void OnInitList() = 0;
    // Paints one cell; false lets DrawItem draw the control's own text there.
    // state is LVIS_SELECTED for the selected row, else 0.
    virtual BOOL DrawSubItem(HDC dc, RECT cell, int item, int column, UINT state) = 0;

    bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

  private:
    // The control's own text of a cell whose subclass declined it.
    void DrawCellText(HDC dc, const RECT& cell, int item, int column, int format, int width);
};
