#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace pemblor {

// Report-style list: rows of text cells under column headings.
class IListCtrl {
public:
    virtual ~IListCtrl() = default;
    virtual int InsertColumn(int index, const std::string& heading, int widthPixels) = 0; // left-aligned
    virtual int GetColumnCount() const = 0;
    // Widens `column`, never narrows it, until its heading and `widestValue`
    // show in full in the list's font. In `widestValue` every decimal digit
    // counts as the font's widest digit and every letter A-F as its widest
    // hexadecimal digit, so "255.255.255.255" covers every dotted address.
    // With `withMark`, room for a warning icon (SetItemWarning) beside the
    // value is kept as well. The window grows to show the widened columns
    // when it is first shown, as far as the screen allows; the list scrolls
    // for the rest.
    virtual void FitColumn(int column, std::string_view widestValue, bool withMark) = 0;
    virtual void SetFullRowSelect() = 0;
    virtual void DeleteAllItems() = 0;
    // Inserts a row whose column 0 holds `text`; returns the row's index.
    virtual int InsertItem(int index, std::string_view text) = 0;
    // Cells past the last column are ignored, as the native control does.
    virtual void SetItemText(int row, int column, std::string_view text) = 0;
    virtual std::string GetItemText(int row, int column) const = 0;
    // Marks one cell with a warning icon whose tool tip is `reason`; an empty
    // reason takes the mark away. A row has at most one marked cell; the
    // mark goes with the row when rows are inserted or deleted.
    virtual void SetItemWarning(int row, int column, std::string_view reason) = 0;
    virtual int GetItemCount() const = 0;
    // The current row, or a negative value when there is none.
    virtual int GetSelectionMark() const = 0;
    // The rows selected now, in ascending order; empty when the user has
    // deselected every row (the selection mark stays).
    virtual std::vector<int> GetSelectedRows() const = 0;
    virtual void RedrawItem(int row) = 0;
    // Outer width of the control in pixels.
    virtual int GetOuterWidth() const = 0;
    // Suspends repainting while many rows go in; true resumes it.
    virtual void SetRedraw(bool redraw) = 0;
};

} // namespace pemblor
