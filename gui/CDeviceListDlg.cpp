#include "gui/CDeviceListDlg.h"
#include "gui/FileDialog.h"

#include "common/CredentialTexts.h"
#include "common/DeviceColumns.h"
#include "common/FillText.h"
#include "common/EngineTexts.h"
#include "common/FormatError.h"
#include "common/InterfaceTexts.h"
#include "common/ValidateSettings.h"
#include "engine/InterfaceSet.h"
#include "format/DelimitedRow.h"
#include "gui/CAboutDlg.h"
#include "gui/MessageBox.h"
#include "gui/CSetupIpDlg.h"
#include "gui/SetupIpManyDialog.h"
#include "gui/QtDeviceTableModel.h"
#include "gui/QtTranslation.h"
#include "protocol/MacText.h"
#include "ui_CDeviceListDlg.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <span>

namespace pemblor {
namespace {

constexpr int kIpAddressColumn = static_cast<int>(DeviceColumn::IpAddress);
// Working size of the device registry; beyond it its containers grow once
// and keep their size.
constexpr std::size_t kReservedRows = 1024;
// The window's least size, as far as the screen allows.
constexpr QSize kMinimumSize{753, 285};
// Kept free beside a window sized to the screen: its frame is unknown
// before the window manager has drawn it.
constexpr int kScreenFrameAllowance = 16;

enum class ListTextFormat { Tsv, Csv };

// A header line of the table's headings (up to Interface), then `devices`
// in that order, each cell as the table shows it (the device's bytes, never
// cut to the column's width).
std::string DeviceListText(const DeviceRegistry& registry, const std::vector<int>& devices, ListTextFormat format)
{
    auto row = [format](std::span<const std::string_view> fields) {
        return format == ListTextFormat::Csv ? CsvRow(fields) : TsvRow(fields);
    };
    std::vector<std::string_view> fields(kSharedColumnCount);
    for (int column = 0; column < kSharedColumnCount; ++column)
        fields[static_cast<std::size_t>(column)] = DeviceColumnHeading(static_cast<DeviceColumn>(column));
    std::string text = row(fields);
    std::vector<std::string> cells(kSharedColumnCount);
    for (int device : devices) {
        registry.Visit(device, [&](const DeviceRecord& record) {
            for (int column = 0; column < kSharedColumnCount; ++column)
                cells[static_cast<std::size_t>(column)] = DeviceCellText(record, static_cast<DeviceColumn>(column), 0);
        });
        for (std::size_t column = 0; column < cells.size(); ++column)
            fields[column] = cells[column];
        text += row(fields);
    }
    return text;
}

// A button that disables itself while it has the focus would hand the focus
// to the next control in the tab order, which Enter would then press (Close
// after Discover). The focus goes back instead, to the nearest control
// before it that can take it.
void Disable(QWidget& button)
{
    if (button.hasFocus()) {
        for (QWidget* before = button.previousInFocusChain(); before && before != &button;
             before = before->previousInFocusChain()) {
            if (before->window() == button.window() && before->isEnabled() && before->isVisible() &&
                (before->focusPolicy() & Qt::TabFocus)) {
                before->setFocus(Qt::OtherFocusReason);
                break;
            }
        }
    }
    button.setEnabled(false);
}

// "MAC also answered from ADDRESS, ADDRESS".
QString AlsoAnsweredText(std::string_view mac, const std::vector<std::string>& alsoAt)
{
    std::string others;
    for (const std::string& address : alsoAt)
        others += (others.empty() ? "" : ", ") + address;
    return QString::fromUtf8(FillText(TranslatedText(MsgAlsoAnsweredFrom), {mac, others}));
}

} // namespace

CDeviceListDlg::CDeviceListDlg(UiDispatcher& dispatcher, const LoopClock& clock, ISocketLayer& sockets,
                               SessionConfig config, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint)
    , ui(std::make_unique<Ui::CDeviceListDlg>())
    , m_dispatcher(dispatcher)
    , m_clock(clock)
    , m_session(sockets, dispatcher, *this, std::move(config), [&clock] { return clock.Now(); }, kReservedRows)
{
    m_sockets = &sockets;
    // The session holds the rest of the configuration; the path is a pointer
    // the move left as it was.
    m_neighbourTable = config.neighbourTable ? config.neighbourTable : "";
    ui->setupUi(this);
    FitButtonTexts(*this);
    m_model = new QtDeviceTableModel(this);
    m_proxy = new QtDeviceSortProxy(*m_model, this);
    ui->IDC_LIST_DEVICES->setModel(m_proxy);
    ui->filterCount->setVisible(false);

    connect(ui->IDC_BTN_DISCOVER, &QPushButton::clicked, this, &CDeviceListDlg::OnDiscover);
    connect(ui->IDC_BTN_SETUPIP, &QPushButton::clicked, this, &CDeviceListDlg::OnSetupIp);
    connect(ui->IDC_BTN_WEBSERVER, &QPushButton::clicked, this, &CDeviceListDlg::OnConnectWebServer);
    connect(ui->IDCANCEL, &QPushButton::clicked, this, &CDeviceListDlg::reject);
    connect(ui->IDC_CHK_KEEP_DISCOVERING, &QCheckBox::clicked, this, &CDeviceListDlg::OnKeepDiscovering);
    connect(ui->filter, &QLineEdit::textChanged, this, &CDeviceListDlg::OnFilterChanged);
    DeviceTableView* list = ui->IDC_LIST_DEVICES;
    connect(list, &DeviceTableView::rowClicked, this, &CDeviceListDlg::OnListClick);
    connect(list, &DeviceTableView::rowDoubleClicked, this, &CDeviceListDlg::OnConnectWebServer);
    connect(list, &DeviceTableView::menuRequested, this, &CDeviceListDlg::OnListRightClick);
    connect(list, &DeviceTableView::copyRequested, this, &CDeviceListDlg::OnCopyRows);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_proxy, signal, this, &CDeviceListDlg::UpdateFilterCount);
    connect(m_proxy, &QAbstractItemModel::modelReset, this, &CDeviceListDlg::UpdateFilterCount);
    connect(m_proxy, &QAbstractItemModel::layoutChanged, this, &CDeviceListDlg::UpdateFilterCount);

    addAction(QString(), QKeySequence::Find, this, [this] {
        ui->filter->setFocus(Qt::ShortcutFocusReason);
        ui->filter->selectAll();
    });
    // The window manager's menu is out of reach: the About entry has a
    // shortcut and the background's menu instead.
    m_aboutAction =
        addAction(tr("&About Pemblor..."), QKeySequence(Qt::CTRL | Qt::Key_F1), this, &CDeviceListDlg::OnAbout);

    m_session.registry().AddListener(*this);
    m_dispatcher.SetTickHandler([this] { m_session.OnTimer(); });

    const EndpointResult opened = m_session.Open();
    // The table keeps its columns without sockets; Discover then says why
    // nothing can be sent.
    m_model->ShowDevices(m_session.registry(), [&clock] { return clock.Now(); });
    m_model->SetRouteNote([this](int device) {
        std::string mac;
        m_session.registry().Visit(device, [&mac](const DeviceRecord& record) { mac.assign(record.macText.view()); });
        const std::optional<CredentialRoute> route = m_session.CredentialRouteOf(mac);
        return route ? QString::fromUtf8(RouteToolTipLine(*route, TranslatedText)) : QString();
    });
    if (!opened.Ok()) {
        m_endpointFailure = EndpointFailureText(opened, TranslatedText);
        if (opened.failed == EndpointStep::CreateReceive && opened.error == EADDRINUSE) {
            // Every copy of Pemblor shares the port: the holder is another
            // program.
            const std::string holder = sockets.PortHolder(DevicePort);
            m_endpointFailure +=
                "\n" + (holder.empty() ? tr("UDP port 21212 is in use by a program that does not share it.")
                                        : tr("UDP port 21212 is in use by a program that does not share it: %1.")
                                              .arg(QString::fromStdString(holder)))
                           .toStdString();
        }
        m_dispatcher.Post(m_tellEndpointFailure);
    }

    // The size that shows the table's columns in full, at least the minimum,
    // and never more than the screen holds: the whole window, Close
    // included, stays on a small screen.
    QSize room{INT_MAX, INT_MAX};
    if (const QScreen* where = screen())
        room = where->availableGeometry().size() - QSize(kScreenFrameAllowance, 2 * kScreenFrameAllowance);
    const QSize minimum = layout()->minimumSize().expandedTo(kMinimumSize).boundedTo(room);
    setMinimumSize(minimum);
    resize(sizeHint().expandedTo(minimum).boundedTo(room));
    // Enter presses Discover, and Tab goes on from it.
    ui->IDC_BTN_DISCOVER->setFocus(Qt::TabFocusReason);
}

CDeviceListDlg::~CDeviceListDlg()
{
    // The table reads the session's registry while it lays out, which a
    // window still shown does as the base class hides it: hidden now, while
    // the session is there.
    hide();
    // The receive thread calls into the session; it must be gone before the
    // members the session tells.
    m_session.StopReceiveThread();
    m_session.registry().RemoveListener(*this);
    for (PostedCall* call : std::initializer_list<PostedCall*>{&m_liveRound, &m_tellEndpointFailure, &m_close})
        m_dispatcher.Cancel(*call);
    m_dispatcher.DisarmTimer();
    m_dispatcher.SetTickHandler(nullptr);
    // The dialogs' jobs use the session: they go before it.
    delete m_pSetupIpDlg;
    delete m_pManyDlg.data();
}

void CDeviceListDlg::TellEndpointFailure()
{
    ShowMessage(m_endpointFailure);
}

void CDeviceListDlg::ShowMessage(const std::string& text)
{
    MessageBox::information(this, Translated(text));
}

void CDeviceListDlg::OnAbout()
{
    auto* about = new CAboutDlg(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->open();
}

void CDeviceListDlg::contextMenuEvent(QContextMenuEvent* event)
{
    if (childAt(event->pos()) != nullptr) {
        event->ignore();
        return;
    }
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(m_aboutAction);
    menu->popup(event->globalPos());
}

// ---- Closing ----

void CDeviceListDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (m_pSetupIpDlg == nullptr && m_endpointFailure.empty())
        m_session.Close();
    reject();
}

// A close request that reaches the window while a dialog is open (the
// window takes no input, but the desktop may still ask) stops a Setup IP
// dialog's job only when the user agrees while a device restarts; the
// window closes once the dialog has gone. "Setup IP for N devices" is asked
// to close, which asks while its job runs.
void CDeviceListDlg::reject()
{
    if (m_pSetupIpDlg != nullptr) {
        if (m_pSetupIpDlg->Restarting() &&
            MessageBox::question(this, tr("A device is restarting. Close Pemblor and stop waiting for it?")) !=
                QMessageBox::Yes)
            return;
        if (m_pSetupIpDlg) {
            m_bCloseAfterSetupIp = true;
            m_pSetupIpDlg->Abandon();
        }
        return;
    }
    if (m_pManyDlg && !m_pManyDlg->close())
        return;
    // Without its sockets the window has no receive thread to stop, and
    // the stop datagram could only fail.
    if (m_endpointFailure.empty())
        m_session.Close();
    // The discovery's timer and the next live round end with the window.
    m_dispatcher.DisarmTimer();
    m_dispatcher.Cancel(m_liveRound);
    QDialog::reject();
}

// ---- What the discovery reports ----

void CDeviceListDlg::DiscoveryEnded(int deviceCount, const SilenceDiagnosis& silence)
{
    ui->IDC_BTN_DISCOVER->setEnabled(true);
    m_model->RefreshLastSeen();
    // The greying reaches the No column too.
    ui->IDC_LIST_DEVICES->viewport()->update();
    // Told below the table while devices are listed: others may be missing.
    ui->reversePathNote->setText(deviceCount > 0 && silence.reversePath
                                     ? QString::fromStdString(ReversePathText(*silence.reversePath, TranslatedText))
                                     : QString());
    ui->reversePathNote->setVisible(!ui->reversePathNote->text().isEmpty());
    if (deviceCount == 0 && !m_session.discovery().Quiet())
        ShowMessage(silence.cause == SilenceCause::Unknown ? std::string(MsgNoDevices)
                                                           : FindNoDevicesText(silence, TranslatedText));
    // The next round follows once this tick has been handled (posted after
    // the message box: calls posted before it would run inside its loop,
    // while the tick still ends the state it started).
    if (KeepDiscovering())
        m_dispatcher.Post(m_liveRound);
}

void CDeviceListDlg::SendFailed(Request request, int error, std::string_view interfaceName)
{
    if (request != Request::Discovery && request != Request::Stop)
        return;
    ShowMessage(SendFailureText(TranslatedText(MsgSendFailed), error, interfaceName));
}

void CDeviceListDlg::ReceiveFailed(ReceiveFailure failure)
{
    ShowMessage(ReceiveFailureText(failure));
}

void CDeviceListDlg::DevicesRecorded(const RegistryBatch& batch)
{
    if (batch.size > batch.toldBefore)
        m_model->DevicesAdded(batch.size);
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
            m_model->DevicesChanged(first, last);
        i = end;
    }
    for (const int device : changed)
        UpdateSubnetWarning(device);
    if (m_session.registry().Unlisted() > 0)
        UpdateFilterCount();
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
    m_model->Clear();
    m_session.discovery().BeginDiscovery();
    Disable(*ui->IDC_BTN_DISCOVER);
    EnableDeviceCommands(false);
    if (!m_session.StartReceiveThread())
        return;
    m_session.discovery().SendDiscovery();
}

void CDeviceListDlg::ReturnToIdle()
{
    m_session.discovery().ReturnToIdle();
    ui->IDC_BTN_DISCOVER->setEnabled(true);
}

bool CDeviceListDlg::KeepDiscovering() const
{
    return ui->IDC_CHK_KEEP_DISCOVERING->isChecked();
}

void CDeviceListDlg::OnKeepDiscovering()
{
    const bool live = KeepDiscovering();
    m_model->SetStaleAfter(live ? std::optional<QtDeviceTableModel::Millis>(kStaleAfterMs) : std::nullopt);
    ui->IDC_LIST_DEVICES->viewport()->update();
    // Ticked while nothing runs: the first round at once. Unticked: the
    // round under way ends as any discovery does, and no other follows.
    if (live)
        StartLiveRound();
}

void CDeviceListDlg::StartLiveRound()
{
    // A discovery under way posts the next round when it ends.
    if (!KeepDiscovering() || m_pSetupIpDlg != nullptr || m_pManyDlg ||
        m_session.discovery().State() == Discovering || !isVisible())
        return;
    if (!m_session.StartReceiveThread())
        return;
    m_session.discovery().BeginQuietRound();
}

// ---- The table ----

void CDeviceListDlg::OnFilterChanged(const QString& text)
{
    m_proxy->SetFilterText(text);
    UpdateFilterCount();
}

void CDeviceListDlg::UpdateFilterCount()
{
    QStringList lines;
    if (!ui->filter->text().isEmpty())
        lines << tr("%1 of %2 devices").arg(m_proxy->rowCount()).arg(m_model->rowCount());
    // MACs past the list's bound are counted, not listed.
    if (const int unlisted = m_session.registry().Unlisted(); unlisted > 0)
        lines << QString::fromUtf8(FillText(TranslatedText(MsgDevicesUnlisted),
                                            {std::to_string(DeviceRegistry::MaxDevices), std::to_string(unlisted)}));
    ui->filterCount->setText(lines.join(QLatin1Char('\n')));
    ui->filterCount->setVisible(!lines.isEmpty());
}

std::optional<DeviceRecord> CDeviceListDlg::CurrentDevice() const
{
    return m_session.registry().Get(ui->IDC_LIST_DEVICES->SelectionMark());
}

void CDeviceListDlg::EnableDeviceCommands(bool enable)
{
    for (QPushButton* button : {ui->IDC_BTN_SETUPIP, ui->IDC_BTN_WEBSERVER}) {
        if (enable)
            button->setEnabled(true);
        else
            Disable(*button);
    }
}

void CDeviceListDlg::OnListClick()
{
    if (ui->IDC_LIST_DEVICES->SelectionMark() >= 0)
        EnableDeviceCommands(true);
}

void CDeviceListDlg::OnListRightClick(const QPoint& globalPos)
{
    if (ui->IDC_LIST_DEVICES->SelectionMark() < 0)
        return;
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("listMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(tr("Setup IP ..."), this, &CDeviceListDlg::OnSetupIp);
    menu->addAction(tr("Connect to web server ..."), this, &CDeviceListDlg::OnConnectWebServer);
    menu->addAction(tr("Export list..."), this, &CDeviceListDlg::OnExportList);
    raise();
    activateWindow();
    menu->popup(globalPos);
}

std::vector<int> CDeviceListDlg::RowsToShare(bool selectedOnly) const
{
    std::vector<int> rows = selectedOnly ? ui->IDC_LIST_DEVICES->SelectedRows() : std::vector<int>{};
    if (rows.empty())
        rows = ui->IDC_LIST_DEVICES->ShownRows();
    return rows;
}

void CDeviceListDlg::OnCopyRows()
{
    const std::string text = DeviceListText(m_session.registry(), RowsToShare(true), ListTextFormat::Tsv);
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(QString::fromStdString(text));
}

void CDeviceListDlg::OnExportList()
{
    auto* chooser = new QFileDialog(this, tr("Export list"), QStringLiteral("devices.csv"),
                                    tr("CSV files (*.csv);;All files (*)"));
    chooser->setObjectName(QStringLiteral("exportChooser"));
    chooser->setAcceptMode(QFileDialog::AcceptSave);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    connect(chooser, &QFileDialog::fileSelected, this, &CDeviceListDlg::OnExportTo);
    chooser->open();
}

// The rows are taken when the file is chosen; a discovery that still runs
// meanwhile may add more.
void CDeviceListDlg::OnExportTo(const QString& path)
{
    const std::string text = DeviceListText(m_session.registry(), RowsToShare(false), ListTextFormat::Csv);
    if (const QString cause = SaveTextFile(path, text); !cause.isEmpty())
        MessageBox::information(this, tr("Cannot save the list: %1").arg(cause));
}

// ---- Device commands ----

void CDeviceListDlg::OnSetupIp()
{
    m_session.discovery().DisarmTimer();
    // A live round cut short here ends without a word; the rounds resume
    // when the dialog closes.
    ReturnToIdle();
    if (const std::vector<int> selected = ui->IDC_LIST_DEVICES->SelectedRows(); selected.size() > 1) {
        OnSetupIpMany(selected);
        return;
    }
    const std::optional<DeviceRecord> device = CurrentDevice();
    if (!device || m_pSetupIpDlg != nullptr || m_pManyDlg || !MayUseDevice(*device))
        return;
    // The all-zero MAC of a malformed reply addresses every device.
    const std::string macText(device->macText.view());
    if (!ParseDeviceMac(macText)) {
        ShowMessage(std::string(MsgNoDeviceMac));
        return;
    }
    auto* dialog = new CSetupIpDlg(m_session, this);
    dialog->SetMacText(macText);
    dialog->SetDeviceLine(DeviceLineText(*device));
    dialog->SetDeviceAddress(device->address, device->interfaceIndex);
    m_pSetupIpDlg = dialog;
    connect(dialog, &QDialog::finished, this, [this, dialog, mac = device->mac] { OnSetupIpEnded(*dialog, mac); });
    dialog->open();
}

void CDeviceListDlg::OnSetupIpEnded(CSetupIpDlg& dialog, const MacBytes& mac)
{
    m_pSetupIpDlg = nullptr;
    // The device is found again by its MAC: rows may have moved meanwhile.
    // The row shows where it answered last and, after a re-read, the
    // netmask it reported; the other cells stay.
    DeviceRegistry& registry = m_session.registry();
    if (const std::optional<int> index = registry.Find(mac)) {
        registry.SetAddress(*index, dialog.DeviceAddress());
        if (dialog.Reread() && dialog.Reread()->netmask)
            registry.SetNetmask(*index, *dialog.Reread()->netmask);
        m_model->DevicesChanged(*index, *index);
        UpdateSubnetWarning(*index);
    }
    dialog.deleteLater();
    if (std::exchange(m_bCloseAfterSetupIp, false))
        m_dispatcher.Post(m_close);
    else if (KeepDiscovering())
        m_dispatcher.Post(m_liveRound);
}

void CDeviceListDlg::OnSetupIpMany(const std::vector<int>& selected)
{
    if (m_pManyDlg || m_pSetupIpDlg != nullptr)
        return;
    const DeviceRegistry& registry = m_session.registry();
    std::vector<ManyDevice> devices;
    for (const int index : selected)
        if (const std::optional<DeviceRecord> record = registry.Get(index))
            devices.push_back({record->number, std::string(record->Value("SSID").value_or("")),
                               std::string(record->macText.view()), record->address});
    // Every listed device counts for the plan: the addresses of those
    // outside it are skipped, as are the computer's own.
    PlanInputs heard;
    Transport& transport = m_session.transport();
    HearFrom(registry, transport, heard);
    // The job's replies come through the receive thread.
    if (!m_session.StartReceiveThread())
        return;

    auto* dialog = new SetupIpManyDialog(transport, m_dispatcher, m_clock, std::move(devices),
                                         std::move(heard.heard), std::move(heard.reserved), this);
    dialog->Logic().LookForHosts(*m_sockets, m_neighbourTable);
    m_pManyDlg = dialog;
    // Each device's row shows where it answers from as soon as it ends.
    connect(dialog, &SetupIpManyDialog::deviceEnded, this, [this](const DeviceOutcome& ended) {
        DeviceRegistry& listed = m_session.registry();
        const std::optional<int> index = ended.ip ? listed.Find(ended.mac) : std::nullopt;
        if (!index)
            return;
        listed.SetAddress(*index, *ended.ip);
        m_model->DevicesChanged(*index, *index);
        UpdateSubnetWarning(*index);
    });
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        m_pManyDlg = nullptr;
        dialog->deleteLater();
        if (KeepDiscovering())
            m_dispatcher.Post(m_liveRound);
    });
    dialog->open();
}

void CDeviceListDlg::OnConnectWebServer()
{
    const std::optional<DeviceRecord> device = CurrentDevice();
    if (!device || !MayUseDevice(*device))
        return;
    const std::string& address = device->address;
    if (const auto heardOn = m_session.InterfaceNamed(device->interfaceName);
        heardOn && OutsideSubnetReason(address, *heardOn)) {
        const QString question = QString::fromUtf8(OpenAnywayQuestion(address, *heardOn, TranslatedText));
        if (MessageBox::question(this, question, QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
            return;
    }
    QDesktopServices::openUrl(QUrl(QString::fromStdString("http://" + address)));
}

bool CDeviceListDlg::MayUseDevice(const DeviceRecord& device)
{
    if (device.alsoAt.empty())
        return true;
    const QString question =
        tr("%1\n\nGo on with the device at %2?")
            .arg(AlsoAnsweredText(device.macText.view(), device.alsoAt), QString::fromStdString(device.address));
    return MessageBox::question(this, question, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void CDeviceListDlg::UpdateSubnetWarning(int device)
{
    // The texts the checks need, copied out under the registry's lock.
    const bool found = m_session.registry().Visit(device, [this](const DeviceRecord& record) {
        const auto cell = record.Cell(kIpAddressColumn);
        m_checkAddress.assign(cell ? *cell : std::string_view());
        m_checkInterface.assign(record.interfaceName);
        m_checkMac.assign(record.macText.view());
        m_checkAlsoAt = record.alsoAt;
    });
    if (!found)
        return;
    QStringList marks;
    if (const auto heardOn = m_session.InterfaceNamed(m_checkInterface))
        if (const std::optional<std::string> warning = OutsideSubnetReason(m_checkAddress, *heardOn, TranslatedText))
            marks << QString::fromUtf8(*warning);
    if (!m_checkAlsoAt.empty())
        marks << AlsoAnsweredText(m_checkMac, m_checkAlsoAt);
    m_model->SetWarning(device, marks.join(QLatin1Char('\n')));
}

} // namespace pemblor
