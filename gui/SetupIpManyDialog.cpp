#include "gui/SetupIpManyDialog.h"
#include "ui_SetupIpManyDialog.h"

#include "common/CredentialTexts.h"
#include "common/InterfaceTexts.h"
#include "common/OutcomeText.h"
#include "common/ValidateSettings.h"
#include "fleet/SettingsCheck.h"
#include "gui/FileDialog.h"
#include "gui/MessageBox.h"
#include "gui/QtTranslation.h"

#include <QPushButton>
#include <QStringList>

#include <initializer_list>
#include <tuple>
#include <utility>

namespace pemblor {
namespace {

enum Column { ColNumber, ColSsid, ColMac, ColCurrent, ColPlanned, ColStatus, ColumnCount };

// One text for a count of one and one for more (English and German agree).
QString Counted(std::size_t count, const QString& one, const QString& many)
{
    return (count == 1 ? one : many).arg(count);
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

// The inputs of the plan and of the job: locked while Apply runs.
void EnableInputs(Ui::SetupIpManyDialog& ui, bool enable)
{
    for (QWidget* input : std::initializer_list<QWidget*>{ui.start, ui.netmask, ui.gateway, ui.dhcp, ui.user,
                                                          ui.password, ui.neverBroadcast, ui.reboot})
        input->setEnabled(enable);
}

} // namespace

SetupIpManyDialog::SetupIpManyDialog(Transport& transport, UiDispatcher& dispatcher, const LoopClock& clock,
                                     std::vector<ManyDevice> devices, std::vector<HeardDevice> heard,
                                     std::vector<std::uint32_t> reserved, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::SetupIpManyDialog>())
    , m_logic(transport, dispatcher, clock, std::move(devices), std::move(heard), std::move(reserved))
{
    m_ui->setupUi(this);
    setWindowTitle(tr("Setup IP for %1 devices").arg(m_logic.Rows().size()));
    setAccessibleName(windowTitle());
    // The address controls keep their natural width, room for
    // "255.255.255.255" and a little more, however wide the form grows.
    m_ui->start->SetFieldRanges(IpAddressFields);
    m_ui->netmask->SetFieldRanges(NetmaskFields);
    m_ui->gateway->SetFieldRanges(GatewayFields);

    QTableWidget& preview = *m_ui->preview;
    preview.setRowCount(static_cast<int>(m_logic.Rows().size()));
    for (int row = 0; row < preview.rowCount(); ++row)
        for (int column = 0; column < ColumnCount; ++column)
            preview.setItem(row, column, new QTableWidgetItem);

    // Accept and reject are not the box's: Apply runs the job and Close asks
    // while it runs.
    m_apply = m_ui->buttons->addButton(tr("&Apply"), QDialogButtonBox::AcceptRole);
    m_apply->setObjectName(QStringLiteral("apply"));
    m_export = m_ui->buttons->addButton(tr("&Export result..."), QDialogButtonBox::ActionRole);
    m_export->setObjectName(QStringLiteral("export"));
    m_export->setEnabled(false);
    m_close = m_ui->buttons->addButton(tr("&Close"), QDialogButtonBox::RejectRole);
    m_close->setObjectName(QStringLiteral("close"));
    m_apply->setDefault(true);
    connect(m_apply, &QPushButton::clicked, this, &SetupIpManyDialog::OnApply);
    connect(m_export, &QPushButton::clicked, this, &SetupIpManyDialog::OnExport);
    connect(m_close, &QPushButton::clicked, this, &SetupIpManyDialog::reject);

    for (QtIpAddressCtrl* address : {m_ui->start, m_ui->netmask, m_ui->gateway})
        connect(address, &QtIpAddressCtrl::FieldChanged, this, &SetupIpManyDialog::OnInputChanged);
    connect(m_ui->dhcp, &QComboBox::currentIndexChanged, this, &SetupIpManyDialog::OnInputChanged);

    m_logic.rowChanged = [this](std::size_t row) { ShowRow(row); };
    m_logic.finished = [this] { ShowFinished(); };
    m_logic.outcome = [this](const DeviceOutcome& ended) { emit deviceEnded(ended); };
    m_logic.askBroadcast = [this](std::string_view mac, const CredentialRoute& route) {
        const QString question = QString::fromStdString(AskBroadcastText(mac, route.interfaceName, TranslatedText));
        return MessageBox::question(this, question, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    m_logic.applyRefused = [this] { ShowApplyRefused(); };
    ShowBroadcastWarning();
    OnInputChanged();
    preview.resizeColumnsToContents();
    resize(sizeHint().expandedTo(QSize(720, 480)));
    m_ui->start->setFocus();
}

SetupIpManyDialog::~SetupIpManyDialog()
{
    // A job still running ends with the logic, after this body: what it
    // tells then reaches no widget.
    m_logic.rowChanged = nullptr;
    m_logic.finished = nullptr;
    m_logic.outcome = nullptr;
}

void SetupIpManyDialog::ShowBroadcastWarning()
{
    // One line for every interface whose hosts would read a password.
    QStringList lines;
    for (const ManyRow& row : m_logic.Rows()) {
        if (!row.refused.empty() || row.route.Unicast())
            continue;
        lines << QString::fromStdString(BroadcastWarningText(row.route.interfaceName, TranslatedText));
    }
    lines.removeDuplicates();
    ShowWarningLine(*m_ui->broadcastWarning, lines.join(QLatin1Char('\n')));
}

void SetupIpManyDialog::OnInputChanged()
{
    if (m_logic.Running() || m_logic.Applied())
        return;
    PlanRequest inputs;
    inputs.start = AddressText(*m_ui->start).value_or(std::string());
    inputs.netmask = AddressText(*m_ui->netmask);
    inputs.gateway = AddressText(*m_ui->gateway);
    if (m_ui->dhcp->currentIndex() == 1)
        inputs.dhcp = true;
    else if (m_ui->dhcp->currentIndex() == 2)
        inputs.dhcp = false;
    m_logic.Replan(inputs);
    if (inputs.start.empty())
        m_ui->message->setText(tr("Type the start address; the devices get addresses upward from it."));
    else if (!m_logic.PlanFailure().empty())
        m_ui->message->setText(Translated(m_logic.PlanFailure()));
    else
        m_ui->message->clear();
    m_apply->setEnabled(m_logic.CanApply());
}

void SetupIpManyDialog::OnApply()
{
    if (!m_logic.CanApply())
        return;
    JobSettings settings;
    settings.user = m_ui->user->text().toStdString();
    settings.password = m_ui->password->text().toStdString();
    // The request holds no more; a longer text would go out cut short.
    for (const auto& [text, field, message] : {std::tuple{settings.user, m_ui->user, MsgUserNameTooLong},
                                               std::tuple{settings.password, m_ui->password, MsgPasswordTooLong}})
        if (text.size() > CredentialLimit) {
            MessageBox::information(this, Translated(std::string(message)));
            field->setFocus();
            return;
        }
    settings.reboot = m_ui->reboot->isChecked();
    settings.broadcast = m_ui->neverBroadcast->isChecked() ? CredentialBroadcast::Refuse
                                                           : CredentialBroadcast::AskIfUnanswered;
    EnableInputs(*m_ui, false);
    m_apply->setEnabled(false);
    m_ui->preview->horizontalHeaderItem(ColStatus)->setText(tr("Status"));
    m_ui->message->setText(tr("Applying..."));
    m_close->setFocus();
    m_logic.Apply(std::move(settings));
}

void SetupIpManyDialog::ShowApplyRefused()
{
    EnableInputs(*m_ui, true);
    m_ui->preview->horizontalHeaderItem(ColStatus)->setText(tr("Note"));
    m_ui->message->setText(Translated(m_logic.PlanFailure()));
    m_apply->setEnabled(m_logic.CanApply());
    m_ui->start->setFocus();
}

void SetupIpManyDialog::ShowRow(std::size_t index)
{
    if (index >= m_logic.Rows().size())
        return;
    const ManyRow& row = m_logic.Rows()[index];
    const int r = static_cast<int>(index);
    QTableWidget& preview = *m_ui->preview;
    preview.item(r, ColNumber)->setText(QString::number(row.device.number));
    preview.item(r, ColSsid)->setText(QString::fromStdString(row.device.ssid));
    preview.item(r, ColMac)->setText(QString::fromStdString(row.device.mac));
    QString current = QString::fromStdString(row.device.address);
    if (row.outcome && row.outcome->ip && *row.outcome->ip != row.device.address)
        current = QStringLiteral("%1 → %2").arg(current, QString::fromStdString(*row.outcome->ip));
    preview.item(r, ColCurrent)->setText(current);
    preview.item(r, ColPlanned)->setText(QString::fromStdString(row.planned.value_or(std::string())));
    preview.item(r, ColStatus)->setText(StatusText(row));
}

QString SetupIpManyDialog::StatusText(const ManyRow& row) const
{
    switch (row.state) {
    case ManyRowState::Planned: {
        QStringList notes;
        if (!row.skipped.empty())
            notes << tr("Skips %1 (in use)").arg(QString::fromStdString(row.skipped));
        if (!row.route.Unicast())
            notes << QString::fromStdString(RouteToolTipLine(row.route, TranslatedText));
        return notes.join(QStringLiteral("; "));
    }
    case ManyRowState::Refused:
        return tr("Refused: %1").arg(Translated(row.refused));
    case ManyRowState::Waiting:
        return tr("Waiting");
    case ManyRowState::Reading:
        return tr("Reading");
    case ManyRowState::Changing:
        return tr("Changing");
    case ManyRowState::Rebooting:
        return row.waitedSeconds == 0 ? tr("Rebooting") : tr("Waiting %1 s").arg(row.waitedSeconds);
    case ManyRowState::Stopped:
        return tr("Stopped; nothing was sent");
    case ManyRowState::LeftOut:
        if (row.leftOut && row.leftOut->why == PlanBack::Why::SharedBefore)
            return tr("Left as it is: %1 had its address before too").arg(QString::fromStdString(row.leftOut->detail));
        if (row.leftOut && row.leftOut->why == PlanBack::Why::CannotPlan)
            return tr("Left as it is: %1").arg(Translated(row.leftOut->detail));
        return tr("Left as it is: it took no change");
    case ManyRowState::Ended:
        break;
    }
    if (!row.outcome)
        return {};
    const DeviceOutcome& outcome = *row.outcome;
    // The results told in words alone.
    static constexpr std::pair<JobOutcome, const char*> kResults[] = {
        {JobOutcome::Verified, QT_TR_NOOP("Verified")},
        {JobOutcome::Stored, QT_TR_NOOP("Stored; takes effect after a reboot")},
        {JobOutcome::Unchanged, QT_TR_NOOP("Unchanged; it holds the plan already")}};
    for (const auto& [result, text] : kResults) {
        if (outcome.result == result)
            return tr(text);
    }
    const QString why = QString::fromStdString(OutcomeText(outcome, TranslatedText));
    switch (outcome.result) {
    case JobOutcome::NeedsBroadcast:
        return tr("Not changed: %1").arg(why);
    case JobOutcome::Invalid:
        return tr("Refused: %1").arg(why);
    default:
        return tr("Failed: %1").arg(why.isEmpty() ? QString::fromUtf8(ResultName(outcome.result).data()) : why);
    }
}

QString SetupIpManyDialog::SummaryText() const
{
    // Each result's part for one device and for more, in the summary's order.
    static constexpr struct {
        JobOutcome result;
        const char* one;
        const char* many;
    } kParts[] = {
        {JobOutcome::Verified, QT_TR_NOOP("%1 verified"), QT_TR_NOOP("%1 verified")},
        {JobOutcome::Stored, QT_TR_NOOP("%1 stored"), QT_TR_NOOP("%1 stored")},
        {JobOutcome::Unchanged, QT_TR_NOOP("%1 unchanged"), QT_TR_NOOP("%1 unchanged")},
        {JobOutcome::AuthenticationError, QT_TR_NOOP("%1 authentication error"),
         QT_TR_NOOP("%1 authentication errors")},
        {JobOutcome::Timeout, QT_TR_NOOP("%1 timed out"), QT_TR_NOOP("%1 timed out")},
        {JobOutcome::NotFound, QT_TR_NOOP("%1 not found"), QT_TR_NOOP("%1 not found")},
        {JobOutcome::UnknownResult, QT_TR_NOOP("%1 unknown result"), QT_TR_NOOP("%1 unknown results")},
        {JobOutcome::NotVerified, QT_TR_NOOP("%1 not seen at its new address"),
         QT_TR_NOOP("%1 not seen at their new addresses")},
        {JobOutcome::RebootNotSent, QT_TR_NOOP("%1 not rebooted"), QT_TR_NOOP("%1 not rebooted")},
        {JobOutcome::NeedsBroadcast, QT_TR_NOOP("%1 not changed (password not broadcast)"),
         QT_TR_NOOP("%1 not changed (passwords not broadcast)")},
        {JobOutcome::Invalid, QT_TR_NOOP("%1 refused"), QT_TR_NOOP("%1 refused")},
    };
    QStringList parts;
    for (const auto& part : kParts) {
        if (const std::size_t count = m_logic.CountOf(part.result))
            parts << Counted(count, tr(part.one), tr(part.many));
    }
    if (const std::size_t stopped = m_logic.StoppedCount())
        parts << Counted(stopped, tr("%1 stopped before any change"), tr("%1 stopped before any change"));
    if (!m_logic.PuttingBack())
        return parts.join(QStringLiteral(", "));
    if (const std::size_t left = m_logic.CountIn(ManyRowState::LeftOut))
        parts << Counted(left, tr("%1 left as it was"), tr("%1 left as they were"));
    return tr("Put back: %1").arg(parts.join(QStringLiteral(", ")));
}

void SetupIpManyDialog::ShowFinished()
{
    m_ui->message->setText(SummaryText());
    const std::optional<ReversePathNote>& dropped = m_logic.ReversePathDropped();
    m_ui->reversePathNote->setText(dropped ? QString::fromStdString(ReversePathText(*dropped, TranslatedText))
                                           : QString());
    m_ui->reversePathNote->setVisible(dropped.has_value());
    // The addresses that moved take "old → new".
    m_ui->preview->resizeColumnsToContents();
    m_export->setEnabled(true);
    if (!m_putBack) {
        // Offered once Apply has ended, and once only.
        m_putBack = m_ui->buttons->addButton(tr("&Put back"), QDialogButtonBox::ActionRole);
        m_putBack->setObjectName(QStringLiteral("putBack"));
        m_putBack->setToolTip(tr("Gives every device that took a change, or may have taken one, the address, "
                                 "netmask, gateway and DHCP it had before"));
        connect(m_putBack, &QPushButton::clicked, this, &SetupIpManyDialog::OnPutBack);
    }
    m_putBack->setEnabled(m_logic.CanPutBack());
    m_export->setFocus();
}

void SetupIpManyDialog::OnPutBack()
{
    if (!m_logic.CanPutBack())
        return;
    m_putBack->setEnabled(false);
    m_export->setEnabled(false);
    m_ui->message->setText(tr("Putting back..."));
    m_close->setFocus();
    m_logic.PutBack();
}

void SetupIpManyDialog::OnExport()
{
    const QString path = FileDialog::getSaveFileName(this, tr("Export result"), QStringLiteral("setup-ip-result.csv"),
                                                     tr("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    if (const QString cause = SaveTextFile(path, m_logic.OutcomeCsv()); !cause.isEmpty())
        MessageBox::information(this, tr("Cannot save the result: %1").arg(cause));
}

bool SetupIpManyDialog::MayClose()
{
    if (!m_logic.Running())
        return true;
    const MessageBox::Button answer = MessageBox::question(
        this, tr("The devices are being changed. Stop now? Devices already sent a change are reported as they stand."));
    if (answer != QMessageBox::Yes)
        return false;
    m_logic.Stop();
    return true;
}

void SetupIpManyDialog::reject()
{
    if (MayClose())
        QDialog::reject();
}

} // namespace pemblor
