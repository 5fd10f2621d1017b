#pragma once
#include "common/DeviceColumns.h"
#include "toolkit/IListCtrl.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pemblor {

// The device table for tests: rows in arrival order, one current row and a
// selection the test sets, and a filter that keeps the rows containing its
// text in any column, ignoring case, as the real table does.
class FakeListCtrl final : public IListCtrl {
public:
    void ShowDevices(const DeviceRegistry& registry, std::function<Millis()> now) override
    {
        m_pRegistry = &registry;
        m_now = std::move(now);
    }
    bool HasColumns() const override { return m_pRegistry != nullptr; }
    void DevicesAdded(int count) override { m_nRows = std::max(m_nRows, count); }
    void DevicesChanged(int first, int last) override
    {
        for (int device = first; device <= last; ++device)
            m_changed.push_back(device);
    }
    void DeleteAllItems() override
    {
        m_nRows = 0;
        m_warnings.clear();
        m_nCurrent = -1;
        m_selected.clear();
    }
    void SetItemWarning(int device, std::string_view reason) override
    {
        if (reason.empty())
            m_warnings.erase(device);
        else
            m_warnings[device] = std::string(reason);
    }
    void SetStaleAfter(std::optional<Millis> staleAfter) override { m_staleAfter = staleAfter; }
    void RefreshLastSeen() override { ++m_nRefreshes; }

    int GetItemCount() const override { return static_cast<int>(GetShownRows().size()); }
    int GetSelectionMark() const override { return m_nCurrent; }
    std::vector<int> GetSelectedRows() const override
    {
        std::vector<int> rows;
        for (int device : GetShownRows())
            if (std::find(m_selected.begin(), m_selected.end(), device) != m_selected.end())
                rows.push_back(device);
        return rows;
    }
    std::vector<int> GetShownRows() const override
    {
        std::vector<int> rows;
        for (int device = 0; device < m_nRows; ++device)
            if (Matches(device))
                rows.push_back(device);
        return rows;
    }

    // --- For tests -------------------------------------------------------
    // A click on the row at `row` (as shown): it becomes the current and
    // only selected row; a click on an empty part (row < 0) keeps them.
    void Select(int row)
    {
        const std::vector<int> shown = GetShownRows();
        if (row >= 0 && row < static_cast<int>(shown.size())) {
            m_nCurrent = shown[static_cast<std::size_t>(row)];
            m_selected = {m_nCurrent};
        }
    }
    // Ctrl+click on the rows at `rows` (as shown), added to the selection.
    void AddToSelection(int row)
    {
        const std::vector<int> shown = GetShownRows();
        if (row >= 0 && row < static_cast<int>(shown.size())) {
            m_nCurrent = shown[static_cast<std::size_t>(row)];
            m_selected.push_back(m_nCurrent);
        }
    }
    // Ctrl+click on the selected row: nothing is selected, the mark stays.
    void Deselect() { m_selected.clear(); }
    void SetFilter(std::string text) { m_filter = std::move(text); }

    // The shown rows' texts, column by column (Last seen included).
    std::vector<std::vector<std::string>> Rows() const
    {
        std::vector<std::vector<std::string>> rows;
        for (int device : GetShownRows()) {
            std::vector<std::string> row;
            for (int column = 0; column < kDeviceColumnCount; ++column)
                row.push_back(Text(device, static_cast<DeviceColumn>(column)));
            rows.push_back(std::move(row));
        }
        return rows;
    }
    struct Warning {
        int column = -1; // -1: none
        std::string reason;
    };
    // One per shown row.
    std::vector<Warning> Warnings() const
    {
        std::vector<Warning> warnings;
        for (int device : GetShownRows()) {
            const auto found = m_warnings.find(device);
            warnings.push_back(found == m_warnings.end()
                                   ? Warning{}
                                   : Warning{static_cast<int>(DeviceColumn::IpAddress), found->second});
        }
        return warnings;
    }
    // Whether the shown row is greyed, and its tool tip then.
    std::optional<std::string> Stale(int row) const
    {
        const std::vector<int> shown = GetShownRows();
        if (!m_staleAfter || !m_pRegistry || row < 0 || row >= static_cast<int>(shown.size()))
            return std::nullopt;
        std::optional<std::string> tip;
        m_pRegistry->Visit(shown[static_cast<std::size_t>(row)], [&](const DeviceRecord& record) {
            const Millis ago = m_now() - record.lastHeard;
            if (ago >= *m_staleAfter)
                tip = NotHeardText(ago);
        });
        return tip;
    }
    bool StaleAfterSet() const { return m_staleAfter.has_value(); }
    const std::vector<int>& Changed() const { return m_changed; }
    int Refreshes() const { return m_nRefreshes; }

private:
    std::string Text(int device, DeviceColumn column) const
    {
        std::string text;
        if (m_pRegistry)
            m_pRegistry->Visit(device, [&](const DeviceRecord& record) {
                text = DeviceCellText(record, column, m_now ? m_now() : 0);
            });
        return text;
    }
    static std::string Lower(std::string text)
    {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }
    bool Matches(int device) const
    {
        if (m_filter.empty())
            return true;
        const std::string wanted = Lower(m_filter);
        for (int column = 0; column < kDeviceColumnCount; ++column)
            if (Lower(Text(device, static_cast<DeviceColumn>(column))).find(wanted) != std::string::npos)
                return true;
        return false;
    }

    const DeviceRegistry* m_pRegistry = nullptr;
    std::function<Millis()> m_now;
    int m_nRows = 0;
    std::map<int, std::string> m_warnings;
    std::optional<Millis> m_staleAfter;
    std::vector<int> m_changed;
    int m_nRefreshes = 0;
    int m_nCurrent = -1;
    std::vector<int> m_selected;
    std::string m_filter;
};

} // namespace pemblor
