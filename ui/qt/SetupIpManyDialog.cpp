#include "ui/qt/SetupIpManyDialog.h"

#include "common/Translatable.h"
#include "common/ValidateSettings.h"
#include "fleet/SettingsCheck.h"
#include "toolkit/IToolkit.h"
#include "toolkit/IWindow.h"
#include "gui/QtIpAddressCtrl.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QVBoxLayout>

#include <tuple>

namespace pemblor {
namespace {

QString Tr(const char* text)
{
    return QCoreApplication::translate("Pemblor", text);
}

// One text for a count of one and one for more (English and German agree).
QString Counted(std::size_t count, const char* one, const char* many)
{
    return Tr(count == 1 ? one : many).arg(count);
}

enum Column { ColNumber, ColSsid, ColMac, ColCurrent, ColPlanned, ColStatus, ColumnCount };

QtIpAddressCtrl* AddressControl(QWidget* parent, const FieldRanges& ranges, const char* name, const QString& accessible)
{
    auto* control = new QtIpAddressCtrl(parent);
    for (int field = 0; field < 4; ++field)
        control->SetFieldRange(field, ranges.low[field], ranges.high[field]);
    control->setObjectName(QString::fromLatin1(name));
    control->setAccessibleName(accessible);
    return control;
}

// The control's address as text; nothing when it is blank, and an empty
// text when only some fields are filled in.
std::optional<std::string> AddressText(const QtIpAddressCtrl& control)
{
    if (control.IsBlank())
        return std::nullopt;
    std::uint32_t address = 0;
    if (control.GetAddress(address) != 4)
        return std::string();
    return FormatIpv4(address);
}

} // namespace

SetupIpManyDialog::SetupIpManyDialog(IToolkit& toolkit, IWindow* owner, ManySetupIp& session)
    : QDialog(dynamic_cast<QWidget*>(owner))
    , m_toolkit(toolkit)
    , m_owner(owner)
    , m_session(session)
{
    setObjectName(QStringLiteral("SetupIpMany"));
    setWindowTitle(Tr(PEMBLOR_TR_NOOP("Pemblor", "Setup IP for %1 devices")).arg(session.Rows().size()));
    setAccessibleName(windowTitle());

    auto* form = new QFormLayout;
    m_start = AddressControl(this, IpAddressFields, "start", Tr(PEMBLOR_TR_NOOP("Pemblor", "Start address")));
    m_netmask = AddressControl(this, NetmaskFields, "netmask", Tr(PEMBLOR_TR_NOOP("Pemblor", "Netmask")));
    m_gateway = AddressControl(this, GatewayFields, "gateway", Tr(PEMBLOR_TR_NOOP("Pemblor", "Gateway")));
    m_dhcp = new QComboBox(this);
    m_dhcp->setObjectName(QStringLiteral("dhcp"));
    m_dhcp->addItems({Tr(PEMBLOR_TR_NOOP("Pemblor", "Leave as it is")), Tr(PEMBLOR_TR_NOOP("Pemblor", "On")), Tr(PEMBLOR_TR_NOOP("Pemblor", "Off"))});
    m_dhcp->setAccessibleName(Tr(PEMBLOR_TR_NOOP("Pemblor", "DHCP")));
    m_user = new QLineEdit(this);
    m_user->setObjectName(QStringLiteral("user"));
    m_user->setAccessibleName(Tr(PEMBLOR_TR_NOOP("Pemblor", "User name")));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("password"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setAccessibleName(Tr(PEMBLOR_TR_NOOP("Pemblor", "Password")));
    m_reboot = new QCheckBox(Tr(PEMBLOR_TR_NOOP("Pemblor", "&Reboot the devices after the change")), this);
    m_reboot->setObjectName(QStringLiteral("reboot"));
    m_reboot->setChecked(true);
    m_reboot->setAccessibleName(Tr(PEMBLOR_TR_NOOP("Pemblor", "Reboot the devices after the change")));

    form->addRow(Tr(PEMBLOR_TR_NOOP("Pemblor", "&Start address:")), m_start);
    form->addRow(Tr(PEMBLOR_TR_NOOP("Pemblor", "&Netmask:")), m_netmask);
    form->addRow(Tr(PEMBLOR_TR_NOOP("Pemblor", "&Gateway:")), m_gateway);
    form->addRow(Tr(PEMBLOR_TR_NOOP("Pemblor", "&DHCP:")), m_dhcp);
    form->addRow(Tr(PEMBLOR_TR_NOOP("Pemblor", "&User name:")), m_user);
    form->addRow(Tr(PEMBLOR_TR_NOOP("Pemblor", "&Password:")), m_password);
    form->addRow(m_reboot);
    auto* hint = new QLabel(Tr(PEMBLOR_TR_NOOP("Pemblor", "A blank netmask or gateway is left as it is.")), this);
    hint->setWordWrap(true);
    form->addRow(hint);

    m_preview = new QTableWidget(static_cast<int>(session.Rows().size()), ColumnCount, this);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_preview->setAccessibleName(Tr(PEMBLOR_TR_NOOP("Pemblor", "Preview")));
    m_preview->setHorizontalHeaderLabels(
        {Tr(PEMBLOR_TR_NOOP("Pemblor", "No")), Tr(PEMBLOR_TR_NOOP("Pemblor", "SSID")), Tr(PEMBLOR_TR_NOOP("Pemblor", "MAC")), Tr(PEMBLOR_TR_NOOP("Pemblor", "Current address")), Tr(PEMBLOR_TR_NOOP("Pemblor", "Planned address")), Tr(PEMBLOR_TR_NOOP("Pemblor", "Note"))});
    m_preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_preview->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_preview->setTabKeyNavigation(false);
    m_preview->verticalHeader()->hide();
    m_preview->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < m_preview->rowCount(); ++row)
        for (int column = 0; column < ColumnCount; ++column)
            m_preview->setItem(row, column, new QTableWidgetItem);

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(this);
    m_apply = buttons->addButton(Tr(PEMBLOR_TR_NOOP("Pemblor", "&Apply")), QDialogButtonBox::AcceptRole);
    m_apply->setObjectName(QStringLiteral("apply"));
    m_export = buttons->addButton(Tr(PEMBLOR_TR_NOOP("Pemblor", "&Export result...")), QDialogButtonBox::ActionRole);
    m_export->setObjectName(QStringLiteral("export"));
    m_export->setEnabled(false);
    m_close = buttons->addButton(Tr(PEMBLOR_TR_NOOP("Pemblor", "&Close")), QDialogButtonBox::RejectRole);
    m_close->setObjectName(QStringLiteral("close"));
    m_apply->setDefault(true);
    // Accept and reject are not the dialog's: Apply runs the job and Close
    // asks while it runs.
    connect(m_apply, &QPushButton::clicked, this, &SetupIpManyDialog::OnApply);
    connect(m_export, &QPushButton::clicked, this, &SetupIpManyDialog::OnExport);
    connect(m_close, &QPushButton::clicked, this, &SetupIpManyDialog::reject);

    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(m_preview, 1);
    top->addWidget(m_message);
    top->addWidget(buttons);

    connect(m_start, &QtIpAddressCtrl::FieldChanged, this, &SetupIpManyDialog::Replan);
    connect(m_netmask, &QtIpAddressCtrl::FieldChanged, this, &SetupIpManyDialog::Replan);
    connect(m_gateway, &QtIpAddressCtrl::FieldChanged, this, &SetupIpManyDialog::Replan);
    connect(m_dhcp, &QComboBox::currentIndexChanged, this, &SetupIpManyDialog::Replan);

    m_session.rowChanged = [this](std::size_t row) { ShowRow(row); };
    m_session.finished = [this] { ShowFinished(); };
    Replan();
    m_preview->resizeColumnsToContents();
    resize(sizeHint().expandedTo(QSize(720, 480)));
    m_start->setFocus();
}

SetupIpManyDialog::~SetupIpManyDialog()
{
    m_session.rowChanged = nullptr;
    m_session.finished = nullptr;
}

void SetupIpManyDialog::Replan()
{
    if (m_session.Running() || m_session.Applied())
        return;
    ManyInputs inputs;
    inputs.start = AddressText(*m_start).value_or(std::string());
    inputs.netmask = AddressText(*m_netmask);
    inputs.gateway = AddressText(*m_gateway);
    if (m_dhcp->currentIndex() == 1)
        inputs.dhcp = true;
    else if (m_dhcp->currentIndex() == 2)
        inputs.dhcp = false;
    m_session.Replan(inputs);
    if (inputs.start.empty())
        m_message->setText(Tr(PEMBLOR_TR_NOOP("Pemblor", "Type the start address; the devices get addresses upward from it.")));
    else if (!m_session.PlanFailure().empty())
        m_message->setText(QString::fromStdString(m_toolkit.Translate(m_session.PlanFailure().c_str())));
    else
        m_message->clear();
    m_apply->setEnabled(m_session.CanApply());
}

void SetupIpManyDialog::OnApply()
{
    if (!m_session.CanApply())
        return;
    JobSettings settings;
    settings.user = m_user->text().toStdString();
    settings.password = m_password->text().toStdString();
    // The request holds no more; a longer text would go out cut short.
    for (const auto& [text, field, message] :
         {std::tuple{settings.user, m_user, MsgUserNameTooLong}, std::tuple{settings.password, m_password, MsgPasswordTooLong}})
        if (text.size() > CredentialLimit) {
            m_toolkit.MessageBox(m_owner, std::string(message));
            field->setFocus();
            return;
        }
    settings.reboot = m_reboot->isChecked();
    for (QWidget* input : std::initializer_list<QWidget*>{m_start, m_netmask, m_gateway, m_dhcp, m_user, m_password,
                                                          m_reboot, m_apply})
        input->setEnabled(false);
    m_preview->horizontalHeaderItem(ColStatus)->setText(Tr(PEMBLOR_TR_NOOP("Pemblor", "Status")));
    m_message->setText(Tr(PEMBLOR_TR_NOOP("Pemblor", "Applying...")));
    m_close->setFocus();
    m_session.Apply(std::move(settings));
}

void SetupIpManyDialog::ShowRow(std::size_t index)
{
    if (index >= m_session.Rows().size())
        return;
    const ManyRow& row = m_session.Rows()[index];
    const int r = static_cast<int>(index);
    m_preview->item(r, ColNumber)->setText(QString::number(row.device.number));
    m_preview->item(r, ColSsid)->setText(QString::fromStdString(row.device.ssid));
    m_preview->item(r, ColMac)->setText(QString::fromStdString(row.device.mac));
    QString current = QString::fromStdString(row.device.address);
    if (row.outcome && row.outcome->ip && *row.outcome->ip != row.device.address)
        current = QStringLiteral("%1 → %2").arg(current, QString::fromStdString(*row.outcome->ip));
    m_preview->item(r, ColCurrent)->setText(current);
    m_preview->item(r, ColPlanned)->setText(QString::fromStdString(row.planned.value_or(std::string())));
    m_preview->item(r, ColStatus)->setText(StatusText(row));
}

QString SetupIpManyDialog::StatusText(const ManyRow& row) const
{
    auto message = [this](const std::string& text) { return QString::fromStdString(m_toolkit.Translate(text.c_str())); };
    switch (row.state) {
    case ManyRowState::Planned:
        return row.skipped.empty() ? QString() : Tr(PEMBLOR_TR_NOOP("Pemblor", "Skips %1 (in use)")).arg(QString::fromStdString(row.skipped));
    case ManyRowState::Refused:
        return Tr(PEMBLOR_TR_NOOP("Pemblor", "Refused: %1")).arg(message(row.refused));
    case ManyRowState::Waiting:
        return Tr(PEMBLOR_TR_NOOP("Pemblor", "Waiting"));
    case ManyRowState::Reading:
        return Tr(PEMBLOR_TR_NOOP("Pemblor", "Reading"));
    case ManyRowState::Changing:
        return Tr(PEMBLOR_TR_NOOP("Pemblor", "Changing"));
    case ManyRowState::Rebooting:
        return row.waitedSeconds == 0 ? Tr(PEMBLOR_TR_NOOP("Pemblor", "Rebooting")) : Tr(PEMBLOR_TR_NOOP("Pemblor", "Waiting %1 s")).arg(row.waitedSeconds);
    case ManyRowState::Stopped:
        return Tr(PEMBLOR_TR_NOOP("Pemblor", "Stopped; nothing was sent"));
    case ManyRowState::Ended:
        break;
    }
    if (!row.outcome)
        return {};
    const DeviceOutcome& outcome = *row.outcome;
    switch (outcome.result) {
    case JobOutcome::Verified:
        return Tr(PEMBLOR_TR_NOOP("Pemblor", "Verified"));
    case JobOutcome::Stored:
        return Tr(PEMBLOR_TR_NOOP("Pemblor", "Stored; takes effect after a reboot"));
    case JobOutcome::Unchanged:
        return Tr(PEMBLOR_TR_NOOP("Pemblor", "Unchanged; it holds the plan already"));
    case JobOutcome::NotVerified:
        return outcome.ip ? Tr(PEMBLOR_TR_NOOP("Pemblor", "Failed: not seen at its new address (last seen at %1)"))
                                .arg(QString::fromStdString(*outcome.ip))
                          : Tr(PEMBLOR_TR_NOOP("Pemblor", "Failed: not seen at its new address"));
    case JobOutcome::Invalid:
        return Tr(PEMBLOR_TR_NOOP("Pemblor", "Refused: %1")).arg(message(outcome.message));
    default:
        return Tr(PEMBLOR_TR_NOOP("Pemblor", "Failed: %1")).arg(outcome.message.empty() ? QString::fromUtf8(ResultName(outcome.result).data())
                                                            : message(outcome.message));
    }
}

QString SetupIpManyDialog::SummaryText() const
{
    QStringList parts;
    for (const ManySetupIp::Count& count : m_session.Summary()) {
        const std::size_t n = count.count;
        switch (count.result) {
        case JobOutcome::Verified:
            parts << Counted(n, PEMBLOR_TR_NOOP("Pemblor", "%1 verified"), PEMBLOR_TR_NOOP("Pemblor", "%1 verified"));
            break;
        case JobOutcome::Stored:
            parts << Counted(n, PEMBLOR_TR_NOOP("Pemblor", "%1 stored"), PEMBLOR_TR_NOOP("Pemblor", "%1 stored"));
            break;
        case JobOutcome::Unchanged:
            parts << Counted(n, PEMBLOR_TR_NOOP("Pemblor", "%1 unchanged"), PEMBLOR_TR_NOOP("Pemblor", "%1 unchanged"));
            break;
        case JobOutcome::AuthenticationError:
            parts << Counted(n, PEMBLOR_TR_NOOP("Pemblor", "%1 authentication error"), PEMBLOR_TR_NOOP("Pemblor", "%1 authentication errors"));
            break;
        case JobOutcome::Timeout:
            parts << Counted(n, PEMBLOR_TR_NOOP("Pemblor", "%1 timed out"), PEMBLOR_TR_NOOP("Pemblor", "%1 timed out"));
            break;
        case JobOutcome::NotFound:
            parts << Counted(n, PEMBLOR_TR_NOOP("Pemblor", "%1 not found"), PEMBLOR_TR_NOOP("Pemblor", "%1 not found"));
            break;
        case JobOutcome::UnknownResult:
            parts << Counted(n, PEMBLOR_TR_NOOP("Pemblor", "%1 unknown result"), PEMBLOR_TR_NOOP("Pemblor", "%1 unknown results"));
            break;
        case JobOutcome::NotVerified:
            parts << Counted(n, PEMBLOR_TR_NOOP("Pemblor", "%1 not seen at its new address"), PEMBLOR_TR_NOOP("Pemblor", "%1 not seen at their new addresses"));
            break;
        case JobOutcome::Invalid:
        case JobOutcome::WouldChange:
            parts << Counted(n, PEMBLOR_TR_NOOP("Pemblor", "%1 refused"), PEMBLOR_TR_NOOP("Pemblor", "%1 refused"));
            break;
        case JobOutcome::RebootNotSent:
            parts << Counted(n, PEMBLOR_TR_NOOP("Pemblor", "%1 not rebooted"), PEMBLOR_TR_NOOP("Pemblor", "%1 not rebooted"));
            break;
        case JobOutcome::RebootSent: // not outcomes of the fleet
        case JobOutcome::SendFailed:
        case JobOutcome::Stopped:
        case JobOutcome::NeedsBroadcast: // not while the dialog lets broadcasts go
            break;
        }
    }
    if (const std::size_t stopped = m_session.StoppedCount())
        parts << Counted(stopped, PEMBLOR_TR_NOOP("Pemblor", "%1 stopped before any change"), PEMBLOR_TR_NOOP("Pemblor", "%1 stopped before any change"));
    return parts.join(QStringLiteral(", "));
}

void SetupIpManyDialog::ShowFinished()
{
    m_message->setText(SummaryText());
    // The addresses that moved take "old → new".
    m_preview->resizeColumnsToContents();
    m_export->setEnabled(true);
    m_export->setFocus();
}

void SetupIpManyDialog::OnExport()
{
    if (!m_owner)
        return;
    const std::optional<std::string> path =
        m_toolkit.AskSaveFileName(*m_owner, PEMBLOR_TR_NOOP("Pemblor", "Export result"), "setup-ip-result.csv",
                                  PEMBLOR_TR_NOOP("Pemblor", "CSV files (*.csv);;All files (*)"));
    if (!path)
        return;
    if (const std::optional<std::string> cause = m_toolkit.SaveTextFile(*path, m_session.OutcomeCsv())) {
        std::string text = m_toolkit.Translate(PEMBLOR_TR_NOOP("Pemblor", "Cannot save the result: %1"));
        text.replace(text.find("%1"), 2, *cause);
        m_toolkit.MessageBox(m_owner, text);
    }
}

bool SetupIpManyDialog::MayClose()
{
    if (!m_session.Running())
        return true;
    const int answer = m_toolkit.MessageBox(
        m_owner,
        PEMBLOR_TR_NOOP("Pemblor",
                        "The devices are being changed. Stop now? Devices already sent a change are reported as they stand."),
        MbButtons::YesNo, MbIcon::Question);
    if (answer != IdOk)
        return false;
    m_session.Stop();
    return true;
}

void SetupIpManyDialog::reject()
{
    if (MayClose())
        QDialog::reject();
}

void SetupIpManyDialog::closeEvent(QCloseEvent* event)
{
    if (MayClose())
        event->accept();
    else
        event->ignore();
}

void RunSetupIpManyDialog(IToolkit& toolkit, IWindow* owner, ManySetupIp& session)
{
    SetupIpManyDialog dialog(toolkit, owner, session);
    dialog.exec();
}

} // namespace pemblor
