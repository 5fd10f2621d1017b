#pragma once
#include "ui/devicelist/CDeviceListDlg.h"

#include "protocol/EntryText.h"

namespace pemblor {

// The device list window with the row-by-row baseline the burst benchmark
// measures the product against: the duplicate check fetches every listed
// MAC cell, and the row insertion and every cell written are each a
// synchronous call to the user-interface thread. It gives the same table.
class LiteralScanDeviceListDlg final : public CDeviceListDlg {
public:
    using CDeviceListDlg::CDeviceListDlg;

protected:
    // The baseline keeps the six columns of a reply; it leaves the Interface
    // column empty.
    bool AddDiscoveredDevice(const ReplyDatagram& reply, const NetworkInterface& heardOn) override;

private:
    EntryTextBuffer m_work; // receive thread only
};

} // namespace pemblor
