#include "ui/devicelist/CDeviceListDlg.h"

#include "engine/FormatError.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"
#include "resources/DialogTemplate.h"
#include "resources/ResourceIds.h"
#include "resources/Translatable.h"
#include "toolkit/IButton.h"
#include "toolkit/IListCtrl.h"
#include "toolkit/IToolkit.h"
#include "toolkit/IWindow.h"
#include "ui/devicelist/CAboutDlg.h"
#include "ui/devicelist/DeviceListText.h"
#include "ui/devicelist/DeviceTableColumns.h"
#include "ui/setupip/CSetupIpDlg.h"
#include "ui/setupip/ValidateSettings.h"

#include <charconv>
#include <memory>
#include <string>
#include <string_view>

namespace pemblor {
namespace {

constexpr unsigned kDiscoveryPeriodMs = 5000;
constexpr int kIpAddressColumn = 2;
constexpr int kMacColumn = DeviceRowCells::MacColumn;
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

CDeviceListDlg::CDeviceListDlg(IToolkit& toolkit, ISocketLayer& sockets, ConversationConfig config,
                               RowStrategy strategy)
    : CConversation(toolkit, sockets, std::move(config))
    , m_rowStrategy(strategy)
    , m_keys(kReservedRows)
    , m_pendingRows(kReservedRows, kReservedText)
    , m_flushRows(kReservedRows, kReservedText)
{
}

CDeviceListDlg::~CDeviceListDlg()
{
    // The receive thread calls into this object; it must be gone before the
    // members it uses.
    StopReceiveThread();
}

int CDeviceListDlg::DoModal()
{
    return m_toolkit.RunModal(*this, IDD_DEVICELIST, nullptr);
}

bool CDeviceListDlg::OnInitDialog(IWindow& window)
{
    m_listDevices = window.List(IDC_LIST_DEVICES);
    m_btnSetupIp = window.Button(IDC_BTN_SETUPIP);
    m_btnDiscover = window.Button(IDC_BTN_DISCOVER);

    const std::string_view about = LoadResourceString(IDS_ABOUTBOX);
    if (!about.empty())
        m_toolkit.AppendSystemMenu(window, IDM_ABOUTBOX, std::string(about));

    if (!OpenEndpoint(window))
        return false;
    SetupTable();
    m_nDeviceCount = 0;
    m_nState = Idle;
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

void CDeviceListDlg::OnTimer(unsigned id)
{
    CConversation::OnTimer(id);
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
    SendStopDatagram();
    IDialogHandler::OnClose();
}

void CDeviceListDlg::OnCancel()
{
    SendStopDatagram();
    if (m_pWindow)
        m_toolkit.EndDialog(*m_pWindow, IDCANCEL);
}

void CDeviceListDlg::OnDestroy()
{
    m_listDevices = nullptr;
    m_btnSetupIp = nullptr;
    m_btnDiscover = nullptr;
    OnWindowDestroyed();
}

// ---- Discovery ----

void CDeviceListDlg::OnDiscover()
{
    ResetRows();
    if (m_listDevices)
        m_listDevices->DeleteAllItems();
    m_nState = Discovering;
    if (m_btnDiscover)
        m_btnDiscover->EnableWindow(false);
    EnableDeviceCommands(false);

    if (!StartReceiveThread())
        return;

    m_nState = Discovering;
    if (SendRequest(BuildDiscoveryRequest()) < 0) {
        m_toolkit.MessageBox(m_pWindow,
                             FormatError(PEMBLOR_TR_NOOP("Pemblor", "skSend.SendTo: %d\n"), LastError()));
        return;
    }
    ArmTimer(kDiscoveryPeriodMs);
}

void CDeviceListDlg::ResetRows()
{
    // Rows of the last cycle still waiting for their flush go with it; the
    // flush runs on this thread, so none can be under way now.
    std::lock_guard lock(m_rowLock);
    m_nDeviceCount = 0;
    m_keys.Clear();
    m_pendingRows.Clear();
}

void CDeviceListDlg::ReturnToIdle()
{
    m_nState = Idle;
    if (m_btnDiscover)
        m_btnDiscover->EnableWindow(true);
}

void CDeviceListDlg::AddDiscoveredDevice(const ReplyDatagram& reply)
{
    if (m_rowStrategy == RowStrategy::LiteralScan)
        AddRowLiteral(reply);
    else
        AddRowBatched(reply);
}

void CDeviceListDlg::AddRowBatched(const ReplyDatagram& reply)
{
    const MacText mac = FormatMacText(reply.macAddress());
    m_rowCells.Compose(reply, mac.view());

    bool post = false;
    {
        std::lock_guard lock(m_rowLock);
        // A device is listed when its MAC text stands in the MAC Address
        // column of a row of this cycle; the set holds exactly those texts
        // of that column that could match.
        if (m_keys.Contains(mac.view()))
            return;
        const int number = m_nDeviceCount.load() + 1;
        m_nDeviceCount = number;
        m_keys.Insert(m_rowCells.KeyColumnText());
        m_pendingRows.Append(number, m_rowCells);
        if (!m_bFlushPosted) {
            m_bFlushPosted = true;
            post = true;
        }
    }
    // One flush per batch: rows that arrive before it runs join it.
    if (post)
        PostToWindow([this] { FlushRows(); });
}

void CDeviceListDlg::FlushRows()
{
    {
        std::lock_guard lock(m_rowLock);
        m_flushRows.Swap(m_pendingRows);
        m_pendingRows.Clear();
        m_bFlushPosted = false;
    }
    if (m_flushRows.Empty() || !m_listDevices)
        return;
    m_listDevices->SetRedraw(false);
    for (std::size_t i = 0; i < m_flushRows.Size(); ++i) {
        const int number = m_flushRows.Number(i);
        const int row = m_listDevices->InsertItem(number - 1, FormatNumber(number).view());
        for (int column = 1; column < DeviceRowCells::ColumnCount; ++column) {
            if (m_flushRows.IsSet(i, column))
                m_listDevices->SetItemText(row, column, m_flushRows.Cell(i, column));
        }
    }
    m_listDevices->SetRedraw(true);
}

void CDeviceListDlg::AddRowLiteral(const ReplyDatagram& reply)
{
    const MacText mac = FormatMacText(reply.macAddress());
    const std::string_view macText = mac.view();

    for (int i = 0; i < m_nDeviceCount.load(); ++i) {
        std::string text;
        const bool fetched = CallWindow([&] {
            if (m_listDevices)
                text = m_listDevices->GetItemText(i, kMacColumn);
        });
        if (!fetched)
            return;
        if (text == macText)
            return;
    }

    const int count = ++m_nDeviceCount;
    const NumberText number = FormatNumber(count);
    int row = -1;
    const bool inserted = CallWindow([&] {
        if (m_listDevices)
            row = m_listDevices->InsertItem(count - 1, number.view());
    });
    if (!inserted)
        return;

    const int entryCount = reply.entryCount();
    for (const auto& item : reply.entries()) {
        const EntryText entry = SplitEntryText(item.entry.text.data(), item.entry.length, m_literalWork);
        const std::string_view cell = entry.name == "IP_ADDR" ? reply.sender() : entry.value;
        CallWindow([&] {
            if (m_listDevices)
                m_listDevices->SetItemText(row, item.index + 1, cell);
        });
    }
    CallWindow([&] {
        if (m_listDevices)
            m_listDevices->SetItemText(count - 1, entryCount + 1, macText);
    });
    m_nDeviceCount = row + 1;
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
    DisarmTimer();
    ReturnToIdle();
    const int row = CurrentRow();
    // The dialog is modal, so none can be open already; the check keeps a
    // stray command from nesting a second one.
    if (row < 0 || SetupIpDlg() != nullptr)
        return;

    // A malformed reply can leave the MAC column empty or holding another
    // column's text; parsed, that becomes the all-zero MAC, which addresses
    // every device.
    const std::string macText = m_listDevices->GetItemText(row, kMacColumn);
    if (!ParseDeviceMac(macText)) {
        m_toolkit.MessageBox(m_pWindow, std::string(MsgNoDeviceMac));
        return;
    }

    auto dialog = std::make_unique<CSetupIpDlg>(*this);
    dialog->SetMacText(macText);
    AttachSetupIpDlg(dialog.get(), m_listDevices->GetItemText(row, kIpAddressColumn));
    m_nState = QueryingDetail;
    dialog->DoModal();

    const std::string address = DetachSetupIpDlg();
    if (m_listDevices) {
        m_listDevices->SetItemText(row, kIpAddressColumn, address);
        m_listDevices->RedrawItem(row);
    }
    dialog.reset();
}

void CDeviceListDlg::OnConnectWebServer()
{
    const int row = CurrentRow();
    if (row < 0)
        return;
    m_toolkit.OpenUrl("http://" + m_listDevices->GetItemText(row, kIpAddressColumn));
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
