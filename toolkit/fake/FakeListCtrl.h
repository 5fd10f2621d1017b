#pragma once
#include "toolkit/IListCtrl.h"

#include <string>
#include <vector>

namespace pemblor {

class FakeListCtrl final : public IListCtrl {
public:
    explicit FakeListCtrl(int outerWidth) : m_nOuterWidth(outerWidth) {}

    int InsertColumn(int index, const std::string& heading, int widthPixels) override
    {
        m_columns.insert(m_columns.begin() + index, Column{heading, widthPixels, {}, false});
        return index;
    }
    int GetColumnCount() const override { return static_cast<int>(m_columns.size()); }
    void FitColumn(int column, std::string_view widestValue, bool withMark) override
    {
        if (column >= 0 && column < GetColumnCount()) {
            m_columns[static_cast<std::size_t>(column)].widestValue = std::string(widestValue);
            m_columns[static_cast<std::size_t>(column)].withMark = withMark;
        }
    }
    void SetFullRowSelect() override { m_bFullRowSelect = true; }
    void DeleteAllItems() override
    {
        m_rows.clear();
        m_warnings.clear();
        m_nSelectionMark = -1;
        m_nSelected = -1;
    }
    int InsertItem(int index, std::string_view text) override
    {
        if (index < 0 || index > GetItemCount())
            index = GetItemCount();
        std::vector<std::string> row(m_columns.empty() ? 1 : m_columns.size());
        row[0] = std::string(text);
        m_rows.insert(m_rows.begin() + index, std::move(row));
        m_warnings.insert(m_warnings.begin() + index, Warning{});
        if (m_nSelectionMark >= index)
            ++m_nSelectionMark;
        if (m_nSelected >= index)
            ++m_nSelected;
        return index;
    }
    void SetItemText(int row, int column, std::string_view text) override
    {
        if (row < 0 || row >= GetItemCount() || column < 0 || column >= static_cast<int>(m_rows[row].size()))
            return;
        m_rows[row][column] = std::string(text);
    }
    std::string GetItemText(int row, int column) const override
    {
        ++m_nGetItemTextCalls;
        if (row < 0 || row >= GetItemCount() || column < 0 || column >= static_cast<int>(m_rows[row].size()))
            return {};
        return m_rows[row][column];
    }
    void SetItemWarning(int row, int column, std::string_view reason) override
    {
        if (row >= 0 && row < GetItemCount())
            m_warnings[static_cast<std::size_t>(row)] = reason.empty() ? Warning{} : Warning{column, std::string(reason)};
    }
    int GetItemCount() const override { return static_cast<int>(m_rows.size()); }
    int GetSelectionMark() const override { return m_nSelectionMark; }
    std::vector<int> GetSelectedRows() const override
    {
        return m_nSelected >= 0 ? std::vector<int>{m_nSelected} : std::vector<int>{};
    }
    void RedrawItem(int row) override { m_redrawn.push_back(row); }
    int GetOuterWidth() const override { return m_nOuterWidth; }
    void SetRedraw(bool redraw) override { m_bRedraw = redraw; }

    // What the user's click does to the selection mark: a row is selected; a
    // click on an empty part (row < 0) keeps the mark.
    void Select(int row)
    {
        if (row >= 0 && row < GetItemCount())
            m_nSelectionMark = m_nSelected = row;
    }
    // Ctrl+click on the selected row: nothing is selected, the mark stays.
    void Deselect() { m_nSelected = -1; }

    struct Column {
        std::string heading;
        int width;
        std::string widestValue;
        bool withMark = false;
    };
    const std::vector<Column>& Columns() const { return m_columns; }
    const std::vector<std::vector<std::string>>& Rows() const { return m_rows; }
    struct Warning {
        int column = -1; // -1: none
        std::string reason;
    };
    const std::vector<Warning>& Warnings() const { return m_warnings; }
    bool FullRowSelect() const { return m_bFullRowSelect; }
    const std::vector<int>& Redrawn() const { return m_redrawn; }
    long GetItemTextCalls() const { return m_nGetItemTextCalls; }

private:
    std::vector<Column> m_columns;
    std::vector<std::vector<std::string>> m_rows;
    std::vector<Warning> m_warnings; // one per row
    std::vector<int> m_redrawn;
    int m_nOuterWidth;
    int m_nSelectionMark = -1;
    int m_nSelected = -1; // single selection
    bool m_bFullRowSelect = false;
    bool m_bRedraw = true;
    mutable long m_nGetItemTextCalls = 0;
};

} // namespace pemblor
