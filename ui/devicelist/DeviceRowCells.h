#pragma once
#include "protocol/EntryText.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace pemblor {

class ReplyDatagram;

// The cells one discovery reply gives its row in columns 1 to 5: entry j goes
// to column j + 1 whatever its name (an entry named "IP_ADDR" shows the
// sender's address instead of its value), the MAC text to column
// entryCount + 1, and a cell past the last column is dropped. Column 0, the
// running number, is the table's business.
//
// Holds its texts in fixed buffers: composing a row allocates nothing. Owned
// by the receive thread.
class DeviceRowCells final {
public:
    static constexpr int ColumnCount = 6;
    static constexpr int MacColumn = 5;
    // The table's last column, after those a reply can fill: the interface
    // the reply arrived on. No entry ever reaches it.
    static constexpr int InterfaceColumn = 6;
    static constexpr int TableColumnCount = 7;

    void Compose(const ReplyDatagram& reply, std::string_view macText);

    bool IsSet(int column) const { return ((m_nSet >> column) & 1u) != 0; }
    // Empty for a cell that is not set.
    std::string_view Cell(int column) const;
    // What the MAC Address column will hold, empty when the reply sets nothing there.
    std::string_view KeyColumnText() const { return Cell(MacColumn); }

private:
    void Store(int column, std::string_view text);

    // Column c lives at index c - 1; a value is never longer than the entry
    // text buffer it was split in.
    std::array<std::array<char, EntryTextBufferSize>, ColumnCount - 1> m_cells;
    std::array<std::size_t, ColumnCount - 1> m_lengths{};
    unsigned m_nSet = 0;
    EntryTextBuffer m_work;
};

} // namespace pemblor
