#pragma once
#include "engine/Conversation.h"
#include "toolkit/IDialogHandler.h"
#include "ui/devicelist/DeviceKeySet.h"
#include "ui/devicelist/DeviceRowBatch.h"
#include "ui/devicelist/DeviceRowCells.h"
#include "ui/devicelist/ToolkitDispatcher.h"

#include <mutex>
#include <optional>
#include <string>

namespace pemblor {

class CSetupIpDlg;
class IButton;
class IListCtrl;
class IToolkit;

// The main window: the device table, Discover, the commands on a listed
// device, the About box and closing. It owns the conversation with the
// devices and words what the conversation tells it.
class CDeviceListDlg : public IDialogHandler, private ConversationListener {
public:
    CDeviceListDlg(IToolkit& toolkit, ISocketLayer& sockets, ConversationConfig config = {});
    ~CDeviceListDlg() override;
    CDeviceListDlg(const CDeviceListDlg&) = delete;
    CDeviceListDlg& operator=(const CDeviceListDlg&) = delete;

    // Runs the window modally, without an owner, until it closes.
    int DoModal();

    const Conversation& GetConversation() const { return m_conversation; }
    Conversation& GetConversation() { return m_conversation; }

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
    // Receive thread, state Discovering: makes the reply a row unless its
    // device is listed; true when it added one. Rows reach the table in
    // batches posted to the user-interface thread.
    virtual bool AddDiscoveredDevice(const ReplyDatagram& reply, const NetworkInterface& heardOn);

    // For a variant of the row path: the table (user-interface thread only;
    // null before the window is built and after it has gone) and the way to
    // that thread.
    IListCtrl* DeviceTable() const { return m_listDevices; }
    UiDispatcher& Dispatcher() { return m_dispatcher; }

private:
    class RowFlush final : public PostedCall {
    public:
        explicit RowFlush(CDeviceListDlg& window) : m_window(window) {}
        void Run() override { m_window.FlushRows(); }

    private:
        CDeviceListDlg& m_window;
    };

    // ConversationListener
    bool DeviceFound(const ReplyDatagram& reply, const NetworkInterface& heardOn) override
    {
        return AddDiscoveredDevice(reply, heardOn);
    }
    void DiscoveryEnded(int deviceCount, const SilenceDiagnosis& silence) override;
    void DetailStored() override;
    void CommandResult(int result) override;
    void TimedOut(ConversationState ended) override;
    void SendFailed(Request request, int error, std::string_view interfaceName) override;
    void ReceiveFailed(ReceiveFailure failure) override;

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
    // Marks the row when its address is outside the network of the interface
    // it answered on (the reason as the mark's tool tip), or clears the mark.
    void UpdateSubnetWarning(int row);
    // The warning for the row, or nothing.
    std::optional<std::string> SubnetWarning(int row) const;
    void ReturnToIdle();
    void EnableDiscover();
    void EnableDeviceCommands(bool enable);
    int CurrentRow() const;
    void ShowMessage(const std::string& text);

    // A new discovery cycle: no key or pending row of the last one survives
    // it.
    void ResetRows();
    void FlushRows();

    IToolkit& m_toolkit;
    ToolkitDispatcher m_dispatcher;

    // The open Setup IP dialog, null when none. User-interface thread only.
    CSetupIpDlg* m_pSetupIpDlg = nullptr;
    // Controls of the window; null before it is built and after it has gone.
    // User-interface thread only.
    IWindow* m_pWindow = nullptr;
    IListCtrl* m_listDevices = nullptr;
    IButton* m_btnSetupIp = nullptr;
    IButton* m_btnDiscover = nullptr;

    // Receive thread only.
    DeviceRowCells m_rowCells;

    // The cycle's duplicate keys and the rows not yet in the table move
    // together under m_rowLock: a new cycle resets both at once, so no row of
    // an earlier cycle reaches the new table.
    std::mutex m_rowLock;
    DeviceKeySet m_keys;
    DeviceRowBatch m_pendingRows;
    RowFlush m_rowFlush{*this};

    // User-interface thread only: the batch being inserted, kept for its
    // capacity.
    DeviceRowBatch m_flushRows;

    // Last: it calls into the members above from its receive thread, so it
    // is the first to go.
    Conversation m_conversation;
};

} // namespace pemblor
