#include "ui/devicelist/CDeviceListDlg.h"

#include "common/DeviceColumns.h"
#include "common/EngineTexts.h"
#include "common/FormatError.h"
#include "common/InterfaceTexts.h"
#include "common/Translatable.h"
#include "common/ValidateSettings.h"
#include "engine/InterfaceSet.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "resources/DialogTemplate.h"
#include "resources/ResourceIds.h"
#include "toolkit/IButton.h"
#include "toolkit/ICheckBox.h"
#include "toolkit/IListCtrl.h"
#include "toolkit/IToolkit.h"
#include "toolkit/IWindow.h"
#include "ui/devicelist/CAboutDlg.h"
#include "ui/devicelist/DeviceListText.h"
#include "ui/setupip/CSetupIpDlg.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <string_view>

namespace pemblor {
namespace {

// The toolkit's lookup of marked texts, for the messages composed here.
auto Translator(const IToolkit& toolkit)
{
    return [&toolkit](const char* text) { return toolkit.Translate(text); };
}

constexpr int kIpAddressColumn = static_cast<int>(DeviceColumn::IpAddress);

constexpr const char* MsgPortTaken =
    PEMBLOR_TR_NOOP("Pemblor", "Another program on this computer uses UDP port 21212, probably Pemblor or "
                               "pemblorctl. Close it and start Pemblor again.");
constexpr const char* MsgCloseWhileRestarting =
    PEMBLOR_TR_NOOP("Pemblor", "A device is restarting. Close Pemblor and stop waiting for it?");
// Working size of the device registry; beyond it its containers grow once
// and keep their size.
constexpr std::size_t kReservedRows = 1024;

} // namespace

CDeviceListDlg::CDeviceListDlg(IToolkit& toolkit, UiDispatcher& dispatcher, ISocketLayer& sockets,
                               SessionConfig config)
    : m_toolkit(toolkit)
    , m_dispatcher(dispatcher)
    , m_session(sockets, m_dispatcher, *this, std::move(config), [&toolkit] { return toolkit.NowMs(); },
                kReservedRows)
{
    m_session.registry().AddListener(*this);
    m_dispatcher.SetTickHandler([this] { m_session.OnTimer(); });
}

CDeviceListDlg::~CDeviceListDlg()
{
    // The receive thread calls into the session; it must be gone before the
    // members the session tells.
    m_session.StopReceiveThread();
    m_session.registry().RemoveListener(*this);
    m_dispatcher.Cancel(m_liveRound);
    m_dispatcher.DisarmTimer();
    m_dispatcher.SetTickHandler(nullptr);
}

int CDeviceListDlg::DoModal()
{
    return m_toolkit.RunModal(*this, IDD_DEVICELIST, nullptr);
}

bool CDeviceListDlg::OnInitDialog(IWindow& window)
{
    m_pWindow = &window;
    m_listDevices = window.List(IDC_LIST_DEVICES);
    m_btnSetupIp = window.Button(IDC_BTN_SETUPIP);
    m_btnDiscover = window.Button(IDC_BTN_DISCOVER);

    const std::string_view about = LoadResourceString(IDS_ABOUTBOX);
    if (!about.empty())
        m_toolkit.AppendSystemMenu(window, IDM_ABOUTBOX, std::string(about));

    const EndpointResult opened = m_session.Open();
    // The table keeps its columns without sockets; Discover then says why
    // nothing can be sent.
    SetupTable();
    if (!opened.Ok()) {
        m_endpointFailure = EndpointFailureText(opened, Translator(m_toolkit));
        if (opened.failed == EndpointStep::CreateReceive && opened.error == EADDRINUSE)
            m_endpointFailure += "\n" + m_toolkit.Translate(MsgPortTaken);
        ShowMessage(m_endpointFailure);
        return false;
    }
    return true;
}

void CDeviceListDlg::SetupTable()
{
    if (m_listDevices)
        m_listDevices->ShowDevices(m_session.registry(), [&toolkit = m_toolkit] { return toolkit.NowMs(); });
}

void CDeviceListDlg::OnCommand(int id)
{
    switch (id) {
    case IDC_BTN_DISCOVER:
        OnDiscover();
        break;
    case IDC_BTN_SETUPIP:
    case ID_SETUP_IP:
        OnSetupIp();
        break;
    case IDC_BTN_WEBSERVER:
    case ID_CONNECT_WEB:
        OnConnectWebServer();
        break;
    case ID_EXPORT_LIST:
        OnExportList();
        break;
    case IDC_CHK_KEEP_DISCOVERING:
        OnKeepDiscovering();
        break;
    default:
        break;
    }
}

void CDeviceListDlg::OnNotify(int id, Notify code)
{
    if (id != IDC_LIST_DEVICES)
        return;
    switch (code) {
    case Notify::Click:
    case Notify::SelectionChanged:
        OnListClick();
        break;
    case Notify::DoubleClick:
        OnConnectWebServer();
        break;
    case Notify::RightClick:
        OnListRightClick();
        break;
    case Notify::Copy:
        OnCopyRows();
        break;
    default:
        break;
    }
}

void CDeviceListDlg::OnSysCommand(unsigned id)
{
    if ((id & 0xFFF0u) == IDM_ABOUTBOX) {
        CAboutDlg about(m_toolkit);
        about.DoModal(m_pWindow);
    }
}

void CDeviceListDlg::OnClose()
{
    if (m_pSetupIpDlg == nullptr && m_endpointFailure.empty())
        m_session.Close();
    OnCancel();
}

// A close request that reaches the window while a device restarts (the
// dialog's owner takes no input, but the desktop may still ask) stops the
// dialog's job only when the user agrees; the window closes once the
// dialog's loop has returned.
void CDeviceListDlg::OnCancel()
{
    if (m_pSetupIpDlg != nullptr) {
        if (m_pSetupIpDlg->Restarting() &&
            m_toolkit.MessageBox(m_pWindow, MsgCloseWhileRestarting, MbButtons::YesNo, MbIcon::Question) != IdOk)
            return;
        if (m_pSetupIpDlg) {
            m_pSetupIpDlg->Abandon();
            m_bCloseAfterSetupIp = true;
        }
        return;
    }
    // Without its sockets the window has no receive thread to stop, and
    // the stop datagram could only fail.
    if (m_endpointFailure.empty())
        m_session.Close();
    if (m_pWindow)
        m_toolkit.EndDialog(*m_pWindow, IDCANCEL);
}

void CDeviceListDlg::OnDestroy()
{
    m_listDevices = nullptr;
    m_btnSetupIp = nullptr;
    m_btnDiscover = nullptr;
    m_pWindow = nullptr;
    // The discovery's timer and the next live round ended with the window.
    m_dispatcher.DisarmTimer();
    m_dispatcher.Cancel(m_liveRound);
}

void CDeviceListDlg::ShowMessage(const std::string& text)
{
    m_toolkit.MessageBox(m_pWindow, text);
}

// ---- What the discovery reports ----

void CDeviceListDlg::DiscoveryEnded(int deviceCount, const SilenceDiagnosis& silence)
{
    EnableDiscover();
    if (m_listDevices)
        m_listDevices->RefreshLastSeen();
    if (deviceCount == 0 && !m_session.discovery().Quiet())
        ShowMessage(silence.cause == SilenceCause::Unknown ? std::string(MsgNoDevices)
                                                           : FindNoDevicesText(silence, Translator(m_toolkit)));
    // The next round follows once this tick has been handled (posted after
    // the message box: calls posted before it would run inside its loop,
    // while the tick still ends the state it started).
    if (KeepDiscovering())
        m_dispatcher.Post(m_liveRound);
}

void CDeviceListDlg::SendFailed(Request request, int error, std::string_view interfaceName)
{
    switch (request) {
    case Request::Discovery:
    case Request::Stop: {
        const std::string format = m_toolkit.Translate(MsgSendFailed);
        ShowMessage(interfaceName.empty() ? FormatError(format, error) : SendFailureText(format, error, interfaceName));
        break;
    }
    case Request::DetailQuery:
    case Request::SettingsChange:
    case Request::Reboot:
        break;
    }
}

void CDeviceListDlg::ReceiveFailed(ReceiveFailure failure)
{
    ShowMessage(ReceiveFailureText(failure));
}

// ---- Discovery ----

void CDeviceListDlg::OnDiscover()
{
    if (!m_endpointFailure.empty()) {
        ShowMessage(m_endpointFailure);
        return;
    }
    // No device of the last cycle, nor a change of one not yet shown,
    // survives it.
    m_session.registry().Clear();
    if (m_listDevices)
        m_listDevices->DeleteAllItems();
    m_session.discovery().BeginDiscovery();
    if (m_btnDiscover)
        m_btnDiscover->EnableWindow(false);
    EnableDeviceCommands(false);

    if (!m_session.StartReceiveThread())
        return;
    m_session.discovery().SendDiscovery();
}

void CDeviceListDlg::ReturnToIdle()
{
    m_session.discovery().ReturnToIdle();
    EnableDiscover();
}

void CDeviceListDlg::EnableDiscover()
{
    if (m_btnDiscover)
        m_btnDiscover->EnableWindow(true);
}

bool CDeviceListDlg::KeepDiscovering() const
{
    const ICheckBox* box = m_pWindow ? m_pWindow->CheckBox(IDC_CHK_KEEP_DISCOVERING) : nullptr;
    return box && box->GetCheck() == 1;
}

void CDeviceListDlg::OnKeepDiscovering()
{
    const bool live = KeepDiscovering();
    if (m_listDevices)
        m_listDevices->SetStaleAfter(live ? std::optional<IListCtrl::Millis>(kStaleAfterMs) : std::nullopt);
    // Ticked while nothing runs: the first round at once. Unticked: the
    // round under way ends as any discovery does, and no other follows.
    if (live)
        StartLiveRound();
}

void CDeviceListDlg::StartLiveRound()
{
    // A discovery under way posts the next round when it ends.
    if (!KeepDiscovering() || m_pSetupIpDlg != nullptr || m_pManySetupIp != nullptr ||
        m_session.discovery().State() == Discovering || !m_pWindow)
        return;
    if (!m_session.StartReceiveThread())
        return;
    m_session.discovery().BeginQuietRound();
}

void CDeviceListDlg::DevicesRecorded(const RegistryBatch& batch)
{
    if (!m_listDevices)
        return;
    if (batch.size > batch.toldBefore)
        m_listDevices->DevicesAdded(batch.size);
    // A live round brings every listed device again: the changed rows are
    // told in runs, not one by one.
    const std::vector<int>& changed = batch.changed;
    for (std::size_t i = 0; i < changed.size();) {
        std::size_t end = i + 1;
        while (end < changed.size() && changed[end] == changed[end - 1] + 1)
            ++end;
        const int first = changed[i];
        const int last = std::min(changed[end - 1], batch.toldBefore - 1);
        if (first <= last)
            m_listDevices->DevicesChanged(first, last);
        i = end;
    }
    for (const int device : changed)
        UpdateSubnetWarning(device);
}

// ---- Device commands ----

std::optional<DeviceRecord> CDeviceListDlg::CurrentDevice() const
{
    if (!m_listDevices)
        return std::nullopt;
    return m_session.registry().Get(m_listDevices->GetSelectionMark());
}

void CDeviceListDlg::EnableDeviceCommands(bool enable)
{
    if (m_btnSetupIp)
        m_btnSetupIp->EnableWindow(enable);
    if (IButton* web = m_pWindow ? m_pWindow->Button(IDC_BTN_WEBSERVER) : nullptr)
        web->EnableWindow(enable);
}

void CDeviceListDlg::OnListClick()
{
    if (m_listDevices && m_listDevices->GetSelectionMark() >= 0)
        EnableDeviceCommands(true);
}

void CDeviceListDlg::OnSetupIp()
{
    m_session.discovery().DisarmTimer();
    // A live round cut short here ends without a word; the rounds resume
    // when the dialog closes.
    ReturnToIdle();
    if (m_listDevices && m_manySetupIpView) {
        if (const std::vector<int> selected = m_listDevices->GetSelectedRows(); selected.size() > 1) {
            OnSetupIpMany(selected);
            return;
        }
    }
    const std::optional<DeviceRecord> device = CurrentDevice();
    // The dialog is modal, so none can be open already; the check keeps a
    // stray command from nesting a second one.
    if (!device || m_pSetupIpDlg != nullptr)
        return;

    // The all-zero MAC of a malformed reply addresses every device.
    const std::string macText(device->macText.view());
    if (!ParseDeviceMac(macText)) {
        m_toolkit.MessageBox(m_pWindow, std::string(MsgNoDeviceMac));
        return;
    }

    auto dialog = std::make_unique<CSetupIpDlg>(m_toolkit, m_session, m_pWindow);
    dialog->SetMacText(macText);
    dialog->SetDeviceLine(DeviceLineText(*device));
    dialog->SetDeviceAddress(device->address, device->interfaceIndex);
    m_pSetupIpDlg = dialog.get();
    dialog->DoModal();
    m_pSetupIpDlg = nullptr;

    // The device is found again by its MAC: rows may have moved meanwhile.
    // The row shows where it answered last and, after a re-read, the
    // netmask it reported; the other cells stay.
    DeviceRegistry& registry = m_session.registry();
    if (const std::optional<int> index = registry.Find(device->mac); index && m_listDevices) {
        registry.SetAddress(*index, dialog->DeviceAddress());
        if (dialog->Reread() && dialog->Reread()->netmask)
            registry.SetNetmask(*index, *dialog->Reread()->netmask);
        m_listDevices->DevicesChanged(*index, *index);
        UpdateSubnetWarning(*index);
    }
    dialog.reset();
    if (m_bCloseAfterSetupIp) {
        m_bCloseAfterSetupIp = false;
        if (m_pWindow)
            m_toolkit.PostClose(*m_pWindow);
        return;
    }
    if (KeepDiscovering())
        m_dispatcher.Post(m_liveRound);
}

void CDeviceListDlg::OnSetupIpMany(const std::vector<int>& selected)
{
    if (m_pManySetupIp != nullptr || m_pSetupIpDlg != nullptr)
        return;
    const DeviceRegistry& registry = m_session.registry();
    std::vector<ManyDevice> devices;
    for (const int index : selected)
        if (const std::optional<DeviceRecord> record = registry.Get(index))
            devices.push_back({record->number, std::string(record->Value("SSID").value_or("")),
                               std::string(record->macText.view()), record->address});
    // Every listed device counts for the plan: the addresses of those
    // outside it are skipped, as are the computer's own.
    std::vector<HeardDevice> heard;
    for (int i = 0; i < registry.Size(); ++i) {
        const std::optional<DeviceRecord> record = registry.Get(i);
        if (!record)
            continue;
        HeardDevice device;
        device.mac = std::string(record->macText.view());
        ParseIpv4(record->address.c_str(), device.answersFrom);
        std::uint32_t reports = 0;
        if (const auto value = record->Value("IP_ADDR"); value && ParseIpv4(std::string(*value).c_str(), reports))
            device.reports = reports;
        device.heardOn = m_session.InterfaceNamed(record->interfaceName);
        heard.push_back(std::move(device));
    }
    std::vector<std::uint32_t> reserved;
    Transport& transport = m_session.transport();
    if (const InterfaceSet* interfaces = transport.Interfaces())
        for (const NetworkInterface& own : interfaces->All())
            reserved.push_back(own.address);

    // The job's replies come through the receive thread.
    if (!m_session.StartReceiveThread())
        return;

    ManySetupIp session(transport, m_dispatcher, [&toolkit = m_toolkit] { return toolkit.NowMs(); },
                        std::move(devices), std::move(heard),
                        std::move(reserved));
    // Each device's row shows where it answers from as soon as it ends.
    session.outcome = [this](const DeviceOutcome& ended) {
        if (!ended.ip)
            return;
        DeviceRegistry& listed = m_session.registry();
        if (const std::optional<int> index = listed.Find(ended.mac); index && m_listDevices) {
            listed.SetAddress(*index, *ended.ip);
            m_listDevices->DevicesChanged(*index, *index);
            UpdateSubnetWarning(*index);
        }
    };
    m_pManySetupIp = &session;
    m_manySetupIpView(m_pWindow, session);
    session.Stop();
    m_pManySetupIp = nullptr;
    if (KeepDiscovering())
        m_dispatcher.Post(m_liveRound);
}

void CDeviceListDlg::OnConnectWebServer()
{
    const std::optional<DeviceRecord> device = CurrentDevice();
    if (!device)
        return;
    const std::string& address = device->address;
    if (const auto heardOn = m_session.InterfaceNamed(device->interfaceName);
        heardOn && OutsideSubnetReason(address, *heardOn)) {
        const std::string question = OpenAnywayQuestion(address, *heardOn, Translator(m_toolkit));
        if (m_toolkit.MessageBox(m_pWindow, question, MbButtons::OkCancel, MbIcon::Question) != IdOk)
            return;
    }
    m_toolkit.OpenUrl("http://" + address);
}

std::optional<std::string> CDeviceListDlg::SubnetWarning(std::string_view address,
                                                         std::string_view interfaceName) const
{
    const auto heardOn = m_session.InterfaceNamed(interfaceName);
    if (!heardOn)
        return std::nullopt;
    return OutsideSubnetReason(address, *heardOn, Translator(m_toolkit));
}

void CDeviceListDlg::UpdateSubnetWarning(int device)
{
    if (!m_listDevices)
        return;
    // The two texts the check needs, copied out under the registry's lock
    // into strings kept for their capacity (a live round checks every
    // device).
    const bool found = m_session.registry().Visit(device, [this](const DeviceRecord& record) {
        const auto cell = record.Cell(kIpAddressColumn);
        m_checkAddress.assign(cell ? *cell : std::string_view());
        m_checkInterface.assign(record.interfaceName);
    });
    if (found)
        m_listDevices->SetItemWarning(device, SubnetWarning(m_checkAddress, m_checkInterface).value_or(std::string()));
}

void CDeviceListDlg::OnListRightClick()
{
    if (!m_listDevices || m_listDevices->GetSelectionMark() < 0 || !m_pWindow)
        return;
    // The command chosen goes to the window like any other.
    OnCommand(m_toolkit.TrackPopupMenu(*m_pWindow, IDR_LISTMENU));
}

std::vector<int> CDeviceListDlg::RowsToShare(bool selectedOnly) const
{
    std::vector<int> rows = selectedOnly ? m_listDevices->GetSelectedRows() : std::vector<int>{};
    if (rows.empty())
        rows = m_listDevices->GetShownRows();
    return rows;
}

void CDeviceListDlg::OnCopyRows()
{
    // A table without columns (the endpoint failed) has nothing to copy.
    if (!m_listDevices || !m_listDevices->HasColumns())
        return;
    m_toolkit.SetClipboardText(DeviceListText(m_session.registry(), RowsToShare(true), ListTextFormat::Tsv));
}

void CDeviceListDlg::OnExportList()
{
    if (!m_listDevices || !m_pWindow || !m_listDevices->HasColumns())
        return;
    // The rows are taken when the file is chosen; a discovery that still
    // runs meanwhile may add more.
    const std::optional<std::string> path =
        m_toolkit.AskSaveFileName(*m_pWindow, PEMBLOR_TR_NOOP("Pemblor", "Export list"), "devices.csv",
                                  PEMBLOR_TR_NOOP("Pemblor", "CSV files (*.csv);;All files (*)"));
    if (!path || !m_listDevices)
        return;
    const std::string text = DeviceListText(m_session.registry(), RowsToShare(false), ListTextFormat::Csv);
    if (const std::optional<std::string> cause = m_toolkit.SaveTextFile(*path, text)) {
        std::string message = m_toolkit.Translate(PEMBLOR_TR_NOOP("Pemblor", "Cannot save the list: %1"));
        message.replace(message.find("%1"), 2, *cause);
        m_toolkit.MessageBox(m_pWindow, message);
    }
}

} // namespace pemblor
