#pragma once
#include "engine/Session.h"
#include "toolkit/IDialogHandler.h"
#include "engine/UiDispatcher.h"
#include "ui/setupip/ManySetupIp.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pemblor {

class CSetupIpDlg;
class IButton;
class IListCtrl;
class IToolkit;

// The main window: the device table, Discover, the commands on a listed
// device, the About box and closing. It owns the session with the devices,
// words what the discovery tells it and shows the registry's devices; its
// dialogs get what they need from the session.
class CDeviceListDlg : public IDialogHandler, private DiscoveryListener, private RegistryListener {
public:
    // `dispatcher` is the user-interface thread's; the window's session
    // ticks on its timer.
    CDeviceListDlg(IToolkit& toolkit, UiDispatcher& dispatcher, ISocketLayer& sockets, SessionConfig config = {});
    ~CDeviceListDlg() override;
    CDeviceListDlg(const CDeviceListDlg&) = delete;
    CDeviceListDlg& operator=(const CDeviceListDlg&) = delete;

    // Runs the window modally, without an owner, until it closes.
    int DoModal();

    const Session& GetSession() const { return m_session; }
    Session& GetSession() { return m_session; }
    // The devices the table shows.
    const DeviceRegistry& Devices() const { return m_session.registry(); }
    // Setup IP with several rows selected opens this view ("Setup IP for N
    // devices"); without one it does nothing.
    void SetManySetupIpView(ManySetupIpView view) { m_manySetupIpView = std::move(view); }

    // IDialogHandler
    bool OnInitDialog(IWindow& window) override;
    void OnCommand(int id) override;
    void OnNotify(int id, Notify code) override;
    void OnSysCommand(unsigned id) override;
    void OnClose() override;
    void OnCancel() override;
    void OnDestroy() override;

private:
    template <void (CDeviceListDlg::*Method)()>
    class Call final : public PostedCall {
    public:
        explicit Call(CDeviceListDlg& window) : m_window(window) {}
        void Run() override { (m_window.*Method)(); }

    private:
        CDeviceListDlg& m_window;
    };

    // DiscoveryListener
    void DiscoveryEnded(int deviceCount, const SilenceDiagnosis& silence) override;
    void SendFailed(Request request, int error, std::string_view interfaceName) override;
    void ReceiveFailed(ReceiveFailure failure) override;
    // RegistryListener: a batch of the devices heard reaches the table.
    void DevicesRecorded(const RegistryBatch& batch) override;

    void SetupTable();
    void OnDiscover();
    void OnSetupIp();
    // Setup IP for the devices of several selected rows (their record
    // indices, top to bottom).
    void OnSetupIpMany(const std::vector<int>& devices);
    void OnConnectWebServer();
    void OnListClick();
    void OnListRightClick();
    // Ctrl+C in the table: the selected rows, or all shown when none is
    // selected, as tab-separated text with a header line.
    void OnCopyRows();
    // "Export list...": every row shown as CSV into a file the user chooses.
    void OnExportList();
    std::vector<int> RowsToShare(bool selectedOnly) const;
    // Marks the device when its address is outside the network of the
    // interface it answered on (the reason as the mark's tool tip), or
    // clears the mark.
    void UpdateSubnetWarning(int device);
    // The warning for a device at `address` (its IP Address cell) heard on
    // `interfaceName`, or nothing.
    std::optional<std::string> SubnetWarning(std::string_view address, std::string_view interfaceName) const;
    // "Keep discovering" ticked or not.
    void OnKeepDiscovering();
    bool KeepDiscovering() const;
    // A live round: the query again, the table kept. Not while a Setup IP
    // dialog is open or another request is under way.
    void StartLiveRound();
    void ReturnToIdle();
    void EnableDiscover();
    void EnableDeviceCommands(bool enable);
    // The device of the current row, or nothing.
    std::optional<DeviceRecord> CurrentDevice() const;
    void ShowMessage(const std::string& text);


    IToolkit& m_toolkit;
    UiDispatcher& m_dispatcher;

    // The open Setup IP dialog, null when none. User-interface thread only.
    CSetupIpDlg* m_pSetupIpDlg = nullptr;
    // Controls of the window; null before it is built and after it has gone.
    // User-interface thread only.
    IWindow* m_pWindow = nullptr;
    IListCtrl* m_listDevices = nullptr;
    IButton* m_btnSetupIp = nullptr;
    IButton* m_btnDiscover = nullptr;
    // The close request that stopped a Setup IP dialog's job, carried out
    // once the dialog has gone.
    bool m_bCloseAfterSetupIp = false;
    // Why the endpoint could not open (Discover says it again); empty when
    // it opened.
    std::string m_endpointFailure;

    Call<&CDeviceListDlg::StartLiveRound> m_liveRound{*this};

    // User-interface thread only: the texts of the subnet check (kept for
    // their capacity).
    std::string m_checkAddress;
    std::string m_checkInterface;

    ManySetupIpView m_manySetupIpView;
    // The open "Setup IP for N devices" session, null when none.
    ManySetupIp* m_pManySetupIp = nullptr;

    // Last: its receive thread and its registry's batches call into the
    // members above, so it is the first to go.
    Session m_session;
};

} // namespace pemblor
