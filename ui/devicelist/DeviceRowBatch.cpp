#include "ui/devicelist/DeviceRowBatch.h"


namespace pemblor {

DeviceRowBatch::DeviceRowBatch(std::size_t rows, std::size_t textBytes)
{
    m_rows.reserve(rows);
    m_arena.reserve(textBytes);
}

void DeviceRowBatch::Append(int number, const DeviceRowCells& cells, std::string_view interfaceName)
{
    Row row{number, 0, {}, {}};
    const auto store = [&](int column, std::string_view text) {
        row.set |= 1u << column;
        row.offset[column] = static_cast<std::uint32_t>(m_arena.size());
        row.length[column] = static_cast<std::uint32_t>(text.size());
        m_arena.append(text);
    };
    for (int column = 1; column < DeviceRowCells::ColumnCount; ++column) {
        if (cells.IsSet(column))
            store(column, cells.Cell(column));
    }
    if (!interfaceName.empty())
        store(DeviceRowCells::InterfaceColumn, interfaceName);
    m_rows.push_back(row);
}

void DeviceRowBatch::Clear()
{
    m_rows.clear();
    m_arena.clear();
}

void DeviceRowBatch::Swap(DeviceRowBatch& other) noexcept
{
    m_rows.swap(other.m_rows);
    m_arena.swap(other.m_arena);
}

std::string_view DeviceRowBatch::Cell(std::size_t row, int column) const
{
    const Row& entry = m_rows[row];
    if (((entry.set >> column) & 1u) == 0)
        return {};
    return std::string_view(m_arena).substr(entry.offset[column], entry.length[column]);
}

} // namespace pemblor
