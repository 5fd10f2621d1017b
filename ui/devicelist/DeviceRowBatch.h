#pragma once
#include "ui/devicelist/DeviceRowCells.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pemblor {

// Rows on their way from the receive thread to the device table. The texts share one arena, so a batch
// that has reached its working size allocates nothing more; Clear() and
// Swap() keep the capacity. Not thread-safe: the window guards it.
class DeviceRowBatch final {
public:
    DeviceRowBatch(std::size_t rows, std::size_t textBytes);

    // `number` is the row's running number, shown in column 0;
    // `interfaceName` goes to the Interface column (none when empty).
    void Append(int number, const DeviceRowCells& cells, std::string_view interfaceName);
    void Clear();
    void Swap(DeviceRowBatch& other) noexcept;

    bool Empty() const { return m_rows.empty(); }
    std::size_t Size() const { return m_rows.size(); }

    int Number(std::size_t row) const { return m_rows[row].number; }
    bool IsSet(std::size_t row, int column) const { return ((m_rows[row].set >> column) & 1u) != 0; }
    std::string_view Cell(std::size_t row, int column) const;

private:
    struct Row {
        int number;
        unsigned set;
        std::array<std::uint32_t, DeviceRowCells::TableColumnCount> offset;
        std::array<std::uint32_t, DeviceRowCells::TableColumnCount> length;
    };
    std::vector<Row> m_rows;
    std::string m_arena;
};

} // namespace pemblor
