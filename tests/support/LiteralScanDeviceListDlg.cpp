#include "tests/support/LiteralScanDeviceListDlg.h"

#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "toolkit/IListCtrl.h"

#include <charconv>
#include <string>

namespace pemblor {

bool LiteralScanDeviceListDlg::AddDiscoveredDevice(const ReplyDatagram& reply, const NetworkInterface& /*heardOn*/)
{
    const MacText mac = FormatMacText(reply.macAddress());
    const std::string_view macText = mac.view();
    const int count = GetConversation().DeviceCount();

    for (int i = 0; i < count; ++i) {
        std::string text;
        const bool fetched = Dispatcher().Invoke([&] {
            if (IListCtrl* table = DeviceTable())
                text = table->GetItemText(i, DeviceRowCells::MacColumn);
        });
        if (!fetched || text == macText)
            return false;
    }

    const int number = count + 1;
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    const std::string_view numberText(digits, static_cast<std::size_t>(end - digits));
    int row = -1;
    const bool inserted = Dispatcher().Invoke([&] {
        if (IListCtrl* table = DeviceTable())
            row = table->InsertItem(number - 1, numberText);
    });
    if (!inserted)
        return false;

    // The Interface column lies past the reply's columns: what a reply would
    // put there has no column to go to, as before that column existed.
    for (const auto& item : reply.entries()) {
        if (item.index + 1 > DeviceRowCells::MacColumn)
            break;
        const EntryText entry = SplitEntryText(item.entry.text.data(), item.entry.length, m_work);
        const std::string_view cell = entry.name == "IP_ADDR" ? reply.sender() : entry.value;
        Dispatcher().Invoke([&] {
            if (IListCtrl* table = DeviceTable())
                table->SetItemText(row, item.index + 1, cell);
        });
    }
    const int macColumn = reply.entryCount() + 1;
    if (macColumn <= DeviceRowCells::MacColumn) {
        Dispatcher().Invoke([&] {
            if (IListCtrl* table = DeviceTable())
                table->SetItemText(number - 1, macColumn, macText);
        });
    }
    return true;
}

} // namespace pemblor
