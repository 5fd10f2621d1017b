#pragma once
#include "engine/EventLoop.h"
#include "engine/Session.h"
#include "engine/UiDispatcher.h"
#include "gui/MemberCall.h"

#include <QDialog>
#include <QPointer>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;

namespace pemblor {

namespace Ui {
class CDeviceListDlg;
}

class CSetupIpDlg;
class QtDeviceSortProxy;
class QtDeviceTableModel;
class SetupIpManyDialog;

// The main window: the device table, Discover, the commands on a listed
// device, the About box and closing. It owns the session with the devices,
// words what the discovery tells it and shows the registry's devices; its
// dialogs get what they need from the session. Its dialogs open with
// open() and report back through finished(); meanwhile the window takes no
// input.
class CDeviceListDlg final : public QDialog, private DiscoveryListener, private RegistryListener {
    Q_OBJECT
public:
    // `dispatcher` is the user-interface thread's (the session's timer,
    // deadlines and queued calls), `clock` its time; both outlive the
    // window. The endpoint opens here; a failure is told once the loop runs.
    CDeviceListDlg(UiDispatcher& dispatcher, const LoopClock& clock, ISocketLayer& sockets, SessionConfig config = {},
                   QWidget* parent = nullptr);
    ~CDeviceListDlg() override;

    const Session& GetSession() const { return m_session; }
    Session& GetSession() { return m_session; }
    // The devices the table shows.
    const DeviceRegistry& Devices() const { return m_session.registry(); }

    // The Close button, Escape and a close request end here.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    // The background's menu: the About entry.
    void contextMenuEvent(QContextMenuEvent* event) override;

private slots:
    void OnDiscover();
    void OnSetupIp();
    void OnConnectWebServer();
    void OnListClick();
    void OnListRightClick(const QPoint& globalPos);
    // Ctrl+C in the table: the selected rows, or all shown when none is
    // selected, as tab-separated text with a header line.
    void OnCopyRows();
    // "Export list...": every row shown as CSV into a file the user chooses.
    void OnExportList();
    void OnExportTo(const QString& path);
    void OnKeepDiscovering();
    void OnFilterChanged(const QString& text);
    void OnAbout();

private:
    // DiscoveryListener
    void DiscoveryEnded(int deviceCount, const SilenceDiagnosis& silence) override;
    void SendFailed(Request request, int error, std::string_view interfaceName) override;
    void ReceiveFailed(ReceiveFailure failure) override;
    // RegistryListener: a batch of the devices heard reaches the table.
    void DevicesRecorded(const RegistryBatch& batch) override;

    void OnSetupIpMany(const std::vector<int>& devices);
    void OnSetupIpEnded(CSetupIpDlg& dialog, const MacBytes& mac);
    void TellEndpointFailure();
    void CloseNow() { close(); }
    // A live round: the query again, the table kept. Not while a dialog is
    // open or another request is under way.
    void StartLiveRound();
    void ReturnToIdle();
    void EnableDeviceCommands(bool enable);
    bool KeepDiscovering() const;
    // Marks the device when its address is outside the network of the
    // interface it answered on, or when its MAC answered from another
    // address as well in one round (each reason a line of the mark's tool
    // tip), or clears the mark; and notes how its password would travel.
    void UpdateSubnetWarning(int device);
    // A device whose MAC answered from other addresses too: says so and asks
    // whether to go on with it. True when there is nothing to ask, or Yes.
    bool MayUseDevice(const DeviceRecord& device);
    void UpdateFilterCount();
    std::vector<int> RowsToShare(bool selectedOnly) const;
    // The device of the current row, or nothing.
    std::optional<DeviceRecord> CurrentDevice() const;
    void ShowMessage(const std::string& text);

    std::unique_ptr<Ui::CDeviceListDlg> ui;
    UiDispatcher& m_dispatcher;
    const LoopClock& m_clock;
    QtDeviceTableModel* m_model;
    QtDeviceSortProxy* m_proxy;
    QAction* m_aboutAction;

    // The open Setup IP dialog, null when none.
    CSetupIpDlg* m_pSetupIpDlg = nullptr;
    // The open "Setup IP for N devices" dialog, null when none.
    QPointer<SetupIpManyDialog> m_pManyDlg;
    // The close request that stopped a Setup IP dialog's job, carried out
    // once the dialog has gone.
    bool m_bCloseAfterSetupIp = false;
    // Why the endpoint could not open (Discover says it again); empty when
    // it opened.
    std::string m_endpointFailure;

    MemberCall<CDeviceListDlg, &CDeviceListDlg::StartLiveRound> m_liveRound{*this};
    MemberCall<CDeviceListDlg, &CDeviceListDlg::TellEndpointFailure> m_tellEndpointFailure{*this};
    MemberCall<CDeviceListDlg, &CDeviceListDlg::CloseNow> m_close{*this};

    // The texts of the subnet check, kept for their capacity (a live round
    // checks every device).
    std::string m_checkAddress;
    std::string m_checkInterface;
    std::string m_checkMac;
    std::vector<std::string> m_checkAlsoAt;
    // Where Setup IP for N devices looks for other hosts on the devices'
    // link: the session's sockets and the neighbour table it names.
    ISocketLayer* m_sockets = nullptr;
    std::string m_neighbourTable;

    // Last: its receive thread and its registry's batches call into the
    // members above, so it is the first to go.
    Session m_session;
};

} // namespace pemblor
