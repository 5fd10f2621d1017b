#include "ui/devicelist/CDeviceListDlg.h"

#include "common/FormatError.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "resources/DialogTemplate.h"
#include "resources/ResourceIds.h"
#include "common/Translatable.h"
#include "toolkit/IButton.h"
#include "toolkit/IListCtrl.h"
#include "toolkit/IToolkit.h"
#include "toolkit/IWindow.h"
#include "ui/devicelist/CAboutDlg.h"
#include "ui/devicelist/DeviceListText.h"
#include "ui/devicelist/DeviceTableColumns.h"
#include "common/InterfaceTexts.h"
#include "ui/setupip/CSetupIpDlg.h"
#include "common/ValidateSettings.h"

#include <charconv>
#include <memory>
#include <string>
#include <string_view>

namespace pemblor {
namespace {

constexpr const char* MsgNoDevices = PEMBLOR_TR_NOOP("Pemblor", "Find no devices!");
constexpr const char* MsgThreadLaunch = PEMBLOR_TR_NOOP("Pemblor", "Cannot Create ServiceSocket Thread");
constexpr const char* MsgSocketStartup = PEMBLOR_TR_NOOP("Pemblor", "Socket Init Error");
constexpr const char* MsgSendFailed = PEMBLOR_TR_NOOP("Pemblor", "skSend.SendTo: %d\n");

// The toolkit's lookup of marked texts, for the messages composed here.
auto Translator(const IToolkit& toolkit)
{
    return [&toolkit](const char* text) { return toolkit.Translate(text); };
}

constexpr int kIpAddressColumn = 2;
constexpr int kMacColumn = DeviceRowCells::MacColumn;
constexpr int kInterfaceColumn = DeviceRowCells::InterfaceColumn;
// Working size of the row bookkeeping; beyond it the containers grow once
// and keep their size.
constexpr std::size_t kReservedRows = 1024;
constexpr std::size_t kReservedText = 64 * 1024;

// A row number as "%d", held by value.
struct NumberText {
    char text[16];
    std::size_t size;
    std::string_view view() const { return {text, size}; }
};

NumberText FormatNumber(int number)
{
    NumberText result{};
    const auto end = std::to_chars(result.text, result.text + sizeof result.text, number).ptr;
    result.size = static_cast<std::size_t>(end - result.text);
    return result;
}

} // namespace

CDeviceListDlg::CDeviceListDlg(IToolkit& toolkit, ISocketLayer& sockets, ConversationConfig config)
    : m_toolkit(toolkit)
    , m_dispatcher(toolkit)
    , m_keys(kReservedRows)
    , m_pendingRows(kReservedRows, kReservedText)
    , m_flushRows(kReservedRows, kReservedText)
    , m_conversation(sockets, m_dispatcher, *this, std::move(config))
{
}

CDeviceListDlg::~CDeviceListDlg()
{
    // The receive thread calls into this object; it must be gone before the
    // members it uses.
    m_conversation.StopReceiveThread();
    m_dispatcher.Cancel(m_rowFlush);
}

int CDeviceListDlg::DoModal()
{
    return m_toolkit.RunModal(*this, IDD_DEVICELIST, nullptr);
}

bool CDeviceListDlg::OnInitDialog(IWindow& window)
{
    m_pWindow = &window;
    m_dispatcher.SetWindow(&window);
    m_listDevices = window.List(IDC_LIST_DEVICES);
    m_btnSetupIp = window.Button(IDC_BTN_SETUPIP);
    m_btnDiscover = window.Button(IDC_BTN_DISCOVER);

    const std::string_view about = LoadResourceString(IDS_ABOUTBOX);
    if (!about.empty())
        m_toolkit.AppendSystemMenu(window, IDM_ABOUTBOX, std::string(about));

    const EndpointResult opened = m_conversation.Open();
    if (!opened.Ok()) {
        ShowMessage(EndpointFailureText(opened));
        return false;
    }
    SetupTable();
    return true;
}

void CDeviceListDlg::SetupTable()
{
    if (m_listDevices)
        AddDeviceTableColumns(*m_listDevices);
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

void CDeviceListDlg::OnTimer(unsigned /*id*/)
{
    m_conversation.OnTimer();
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
    m_conversation.Close();
    IDialogHandler::OnClose();
}

void CDeviceListDlg::OnCancel()
{
    m_conversation.Close();
    if (m_pWindow)
        m_toolkit.EndDialog(*m_pWindow, IDCANCEL);
}

void CDeviceListDlg::OnDestroy()
{
    m_listDevices = nullptr;
    m_btnSetupIp = nullptr;
    m_btnDiscover = nullptr;
    m_pWindow = nullptr;
    m_dispatcher.SetWindow(nullptr);
}

void CDeviceListDlg::ShowMessage(const std::string& text)
{
    m_toolkit.MessageBox(m_pWindow, text);
}

// ---- What the conversation reports ----

void CDeviceListDlg::DiscoveryEnded(int deviceCount, const SilenceDiagnosis& silence)
{
    EnableDiscover();
    if (deviceCount == 0)
        ShowMessage(silence.cause == SilenceCause::Unknown ? std::string(MsgNoDevices)
                                                           : FindNoDevicesText(silence, Translator(m_toolkit)));
}

void CDeviceListDlg::DetailStored()
{
    if (m_pSetupIpDlg)
        m_pSetupIpDlg->FillControls();
}

void CDeviceListDlg::CommandResult(int result)
{
    if (m_pSetupIpDlg)
        m_pSetupIpDlg->OnCommandResult(result);
}

void CDeviceListDlg::TimedOut(ConversationState ended)
{
    EnableDiscover();
    if (m_pSetupIpDlg)
        m_pSetupIpDlg->OnConversationTimedOut(ended);
}

void CDeviceListDlg::SendFailed(Request request, int error, std::string_view interfaceName)
{
    switch (request) {
    case Request::Discovery:
    case Request::Stop:
        ShowMessage(interfaceName.empty() ? FormatError(MsgSendFailed, error)
                                          : SendFailureText(MsgSendFailed, error, interfaceName));
        break;
    case Request::DetailQuery:
    case Request::SettingsChange:
    case Request::Reboot:
        if (m_pSetupIpDlg)
            m_pSetupIpDlg->OnSendFailed(error, interfaceName);
        break;
    }
}

void CDeviceListDlg::ReceiveFailed(ReceiveFailure failure)
{
    ShowMessage(failure == ReceiveFailure::Launch ? MsgThreadLaunch : MsgSocketStartup);
}

// ---- Discovery ----

void CDeviceListDlg::OnDiscover()
{
    ResetRows();
    if (m_listDevices)
        m_listDevices->DeleteAllItems();
    m_conversation.BeginDiscovery();
    if (m_btnDiscover)
        m_btnDiscover->EnableWindow(false);
    EnableDeviceCommands(false);

    if (!m_conversation.StartReceiveThread())
        return;
    m_conversation.SendDiscovery();
}

void CDeviceListDlg::ResetRows()
{
    // Rows of the last cycle still waiting for their flush go with it; the
    // flush runs on this thread, so none can be under way now.
    std::lock_guard lock(m_rowLock);
    m_keys.Clear();
    m_pendingRows.Clear();
}

void CDeviceListDlg::ReturnToIdle()
{
    m_conversation.ReturnToIdle();
    EnableDiscover();
}

void CDeviceListDlg::EnableDiscover()
{
    if (m_btnDiscover)
        m_btnDiscover->EnableWindow(true);
}

bool CDeviceListDlg::AddDiscoveredDevice(const ReplyDatagram& reply, const NetworkInterface& heardOn)
{
    const MacText mac = FormatMacText(reply.macAddress());
    m_rowCells.Compose(reply, mac.view());
    {
        std::lock_guard lock(m_rowLock);
        // A device is listed when its MAC text stands in the MAC Address
        // column of a row of this cycle; the set holds exactly those texts
        // of that column that could match.
        if (m_keys.Contains(mac.view()))
            return false;
        m_keys.Insert(m_rowCells.KeyColumnText());
        m_pendingRows.Append(m_conversation.DeviceCount() + 1, m_rowCells, heardOn.name);
    }
    // Rows that arrive before the flush runs join it: a posted flush is
    // queued once.
    m_dispatcher.Post(m_rowFlush);
    return true;
}

void CDeviceListDlg::FlushRows()
{
    {
        std::lock_guard lock(m_rowLock);
        m_flushRows.Swap(m_pendingRows);
        m_pendingRows.Clear();
    }
    if (m_flushRows.Empty() || !m_listDevices)
        return;
    m_listDevices->SetRedraw(false);
    // Rows of one burst mostly share their interface: it is looked up once.
    std::optional<NetworkInterface> heardOn;
    for (std::size_t i = 0; i < m_flushRows.Size(); ++i) {
        const int number = m_flushRows.Number(i);
        const int row = m_listDevices->InsertItem(number - 1, FormatNumber(number).view());
        for (int column = 1; column < DeviceRowCells::TableColumnCount; ++column) {
            if (m_flushRows.IsSet(i, column))
                m_listDevices->SetItemText(row, column, m_flushRows.Cell(i, column));
        }
        const std::string_view name = m_flushRows.Cell(i, kInterfaceColumn);
        if (name.empty())
            continue;
        if (!heardOn || heardOn->name != name)
            heardOn = m_conversation.InterfaceNamed(name);
        if (!heardOn)
            continue;
        const auto reason = OutsideSubnetReason(m_flushRows.Cell(i, kIpAddressColumn), *heardOn, Translator(m_toolkit));
        if (reason)
            m_listDevices->SetItemWarning(row, kIpAddressColumn, *reason);
    }
    m_listDevices->SetRedraw(true);
}

// ---- Device commands ----

int CDeviceListDlg::CurrentRow() const
{
    return m_listDevices ? m_listDevices->GetSelectionMark() : -1;
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
    if (CurrentRow() >= 0)
        EnableDeviceCommands(true);
}

void CDeviceListDlg::OnSetupIp()
{
    m_conversation.DisarmTimer();
    ReturnToIdle();
    const int row = CurrentRow();
    // The dialog is modal, so none can be open already; the check keeps a
    // stray command from nesting a second one.
    if (row < 0 || m_pSetupIpDlg != nullptr)
        return;

    // A malformed reply can leave the MAC column empty or holding another
    // column's text; parsed, that becomes the all-zero MAC, which addresses
    // every device.
    const std::string macText = m_listDevices->GetItemText(row, kMacColumn);
    if (!ParseDeviceMac(macText)) {
        m_toolkit.MessageBox(m_pWindow, std::string(MsgNoDeviceMac));
        return;
    }

    auto dialog = std::make_unique<CSetupIpDlg>(m_toolkit, m_conversation, m_pWindow);
    dialog->SetMacText(macText);
    m_conversation.SelectDevice(macText, *dialog, m_listDevices->GetItemText(row, kIpAddressColumn),
                                m_listDevices->GetItemText(row, kInterfaceColumn));
    m_pSetupIpDlg = dialog.get();
    m_conversation.ExpectDetail();
    dialog->DoModal();

    m_pSetupIpDlg = nullptr;
    const std::string address = m_conversation.ReleaseDevice();
    if (m_listDevices) {
        m_listDevices->SetItemText(row, kIpAddressColumn, address);
        UpdateSubnetWarning(row);
        m_listDevices->RedrawItem(row);
    }
    dialog.reset();
}

void CDeviceListDlg::OnConnectWebServer()
{
    const int row = CurrentRow();
    if (row < 0)
        return;
    const std::string address = m_listDevices->GetItemText(row, kIpAddressColumn);
    if (const auto heardOn = m_conversation.InterfaceNamed(m_listDevices->GetItemText(row, kInterfaceColumn));
        heardOn && OutsideSubnetReason(address, *heardOn)) {
        const std::string question = OpenAnywayQuestion(address, *heardOn, Translator(m_toolkit));
        if (m_toolkit.MessageBox(m_pWindow, question, MbButtons::OkCancel, MbIcon::Question) != IdOk)
            return;
    }
    m_toolkit.OpenUrl("http://" + address);
}

std::optional<std::string> CDeviceListDlg::SubnetWarning(int row) const
{
    if (!m_listDevices)
        return std::nullopt;
    const auto heardOn = m_conversation.InterfaceNamed(m_listDevices->GetItemText(row, kInterfaceColumn));
    if (!heardOn)
        return std::nullopt;
    return OutsideSubnetReason(m_listDevices->GetItemText(row, kIpAddressColumn), *heardOn, Translator(m_toolkit));
}

void CDeviceListDlg::UpdateSubnetWarning(int row)
{
    if (m_listDevices)
        m_listDevices->SetItemWarning(row, kIpAddressColumn, SubnetWarning(row).value_or(std::string()));
}

void CDeviceListDlg::OnListRightClick()
{
    if (CurrentRow() < 0 || !m_pWindow)
        return;
    // The command chosen goes to the window like any other.
    OnCommand(m_toolkit.TrackPopupMenu(*m_pWindow, IDR_LISTMENU));
}

std::vector<int> CDeviceListDlg::RowsToShare(bool selectedOnly) const
{
    std::vector<int> rows = selectedOnly ? m_listDevices->GetSelectedRows() : std::vector<int>{};
    if (rows.empty()) {
        rows.resize(static_cast<std::size_t>(m_listDevices->GetItemCount()));
        for (std::size_t i = 0; i < rows.size(); ++i)
            rows[i] = static_cast<int>(i);
    }
    return rows;
}

void CDeviceListDlg::OnCopyRows()
{
    // A table without columns (the endpoint failed) has nothing to copy.
    if (!m_listDevices || m_listDevices->GetColumnCount() == 0)
        return;
    const auto headings = DeviceTableHeadings();
    m_toolkit.SetClipboardText(DeviceListText(*m_listDevices, headings, RowsToShare(true), ListTextFormat::Tsv));
}

void CDeviceListDlg::OnExportList()
{
    if (!m_listDevices || !m_pWindow || m_listDevices->GetColumnCount() == 0)
        return;
    // The rows are taken when the file is chosen; a discovery that still
    // runs meanwhile may add more.
    const std::optional<std::string> path =
        m_toolkit.AskSaveFileName(*m_pWindow, PEMBLOR_TR_NOOP("Pemblor", "Export list"), "devices.csv",
                                  PEMBLOR_TR_NOOP("Pemblor", "CSV files (*.csv);;All files (*)"));
    if (!path || !m_listDevices)
        return;
    const auto headings = DeviceTableHeadings();
    const std::string text = DeviceListText(*m_listDevices, headings, RowsToShare(false), ListTextFormat::Csv);
    int error = 0;
    if (!WriteTextFile(*path, text, error)) {
        std::string message = PEMBLOR_TR_NOOP("Pemblor", "Cannot save the list (error %d).");
        message.replace(message.find("%d"), 2, std::to_string(error));
        m_toolkit.MessageBox(m_pWindow, message);
    }
}

} // namespace pemblor
