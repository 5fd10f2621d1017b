#include "ui/devicelist/DeviceRowCells.h"

#include "protocol/ReplyDatagram.h"

#include <algorithm>

namespace pemblor {

void DeviceRowCells::Compose(const ReplyDatagram& reply, std::string_view macText)
{
    m_nSet = 0;
    for (const auto& item : reply.entries()) {
        const int column = item.index + 1;
        if (column >= ColumnCount)
            break;
        const EntryText text = SplitEntryText(item.entry.text.data(), item.entry.length, m_work);
        Store(column, text.name == "IP_ADDR" ? reply.sender() : text.value);
    }
    // The header's count places the MAC text even when fewer whole entries
    // arrived than it promises.
    const int macColumn = reply.entryCount() + 1;
    if (macColumn < ColumnCount)
        Store(macColumn, macText);
}

std::string_view DeviceRowCells::Cell(int column) const
{
    if (column < 1 || column >= ColumnCount || !IsSet(column))
        return {};
    return {m_cells[column - 1].data(), m_lengths[column - 1]};
}

void DeviceRowCells::Store(int column, std::string_view text)
{
    const std::size_t length = std::min(text.size(), m_cells[column - 1].size());
    std::copy_n(text.begin(), length, m_cells[column - 1].begin());
    m_lengths[column - 1] = length;
    m_nSet |= 1u << column;
}

} // namespace pemblor
