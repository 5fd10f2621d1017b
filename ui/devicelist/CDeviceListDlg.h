#pragma once
#include "engine/CConversation.h"
#include "protocol/EntryText.h"
#include "toolkit/IDialogHandler.h"
#include "ui/devicelist/DeviceKeySet.h"
#include "ui/devicelist/DeviceRowBatch.h"
#include "ui/devicelist/DeviceRowCells.h"

#include <mutex>

namespace pemblor {

class IButton;
class IListCtrl;

// How a discovery reply becomes a row. Both give the same table.
enum class RowStrategy {
    // The duplicate check looks up a key set kept with the receive thread;
    // new rows reach the table in batches posted to the user-interface thread.
    Batched,
    // Every cell fetched for the duplicate check, the row insertion and every
    // cell written is its own synchronous call to the user-interface thread.
    LiteralScan,
};

// The main window: the device table, Discover, the commands on a listed
// device, the About box and closing. The conversation with the devices is
// the base class's.
class CDeviceListDlg final : public CConversation, public IDialogHandler {
public:
#ifdef PEMBLOR_LITERAL_SCAN
    static constexpr RowStrategy DefaultRowStrategy = RowStrategy::LiteralScan;
#else
    static constexpr RowStrategy DefaultRowStrategy = RowStrategy::Batched;
#endif

    CDeviceListDlg(IToolkit& toolkit, ISocketLayer& sockets, ConversationConfig config = {},
                   RowStrategy strategy = DefaultRowStrategy);
    ~CDeviceListDlg() override;

    // Runs the window modally, without an owner, until it closes.
    int DoModal();

    // IDialogHandler
    bool OnInitDialog(IWindow& window) override;
    void OnCommand(int id) override;
    void OnNotify(int id, Notify code) override;
    void OnTimer(unsigned id) override;
    void OnSysCommand(unsigned id) override;
    void OnClose() override;
    void OnCancel() override;
    void OnDestroy() override;

protected:
    // CConversation
    void AddDiscoveredDevice(const ReplyDatagram& reply) override;
    void ReturnToIdle() override;

private:
    void SetupTable();
    void OnDiscover();
    void OnSetupIp();
    void OnConnectWebServer();
    void OnListClick();
    void OnListRightClick();
    // Ctrl+C in the table: the selected rows, or all when none is selected,
    // as tab-separated text with a header line.
    void OnCopyRows();
    // "Export list...": every row as CSV into a file the user chooses.
    void OnExportList();
    std::vector<int> RowsToShare(bool selectedOnly) const;
    void EnableDeviceCommands(bool enable);
    int CurrentRow() const;

    // A new discovery cycle: no key, pending row or count of the last one
    // survives it.
    void ResetRows();
    void AddRowBatched(const ReplyDatagram& reply);
    void AddRowLiteral(const ReplyDatagram& reply);
    void FlushRows();

    // Controls of the window; null before it is built and after it has gone.
    // User-interface thread only.
    IListCtrl* m_listDevices = nullptr;
    IButton* m_btnSetupIp = nullptr;
    IButton* m_btnDiscover = nullptr;

    const RowStrategy m_rowStrategy;

    // Receive thread only.
    DeviceRowCells m_rowCells;
    EntryTextBuffer m_literalWork;

    // The cycle's duplicate keys, the rows not yet in the table and the
    // device count move together under m_rowLock: a new cycle resets all
    // three at once, so no row of an earlier cycle reaches the new table.
    std::mutex m_rowLock;
    DeviceKeySet m_keys;
    DeviceRowBatch m_pendingRows;
    bool m_bFlushPosted = false;

    // User-interface thread only: the batch being inserted, kept for its
    // capacity.
    DeviceRowBatch m_flushRows;
};

} // namespace pemblor
