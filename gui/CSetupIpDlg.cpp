#include "gui/CSetupIpDlg.h"

#include "common/CredentialTexts.h"
#include "common/EngineTexts.h"
#include "common/FormatError.h"
#include "common/InterfaceTexts.h"
#include "common/OutcomeText.h"
#include "common/SettingText.h"
#include "common/ValidateSettings.h"
#include "engine/Session.h"
#include "gui/MessageBox.h"
#include "gui/QtIpAddressCtrl.h"
#include "gui/QtTranslation.h"
#include "protocol/MacText.h"
#include "ui_CSetupIpDlg.h"

#include <QLabel>
#include <QPointer>
#include <QShowEvent>

#include <algorithm>
#include <iterator>
#include <utility>

namespace pemblor {

namespace {

constexpr std::string_view SettingNames[] = {"USER_NAME",   "USER_PASSWORD",   "IP_ADDR",
                                             "SUBNET_MASK", "DEFAULT_GATEWAY", "DHCP"};

// The change's result is taken at the first tick after it arrived (the
// reboot question's timing).
constexpr unsigned PollPeriodMs = 1000;

AddressInput ReadAddress(const QtIpAddressCtrl& control)
{
    AddressInput input;
    input.blank = control.IsBlank();
    control.GetAddress(input.value);
    return input;
}

std::string ReadAddressText(const QtIpAddressCtrl& control)
{
    std::uint32_t value = 0;
    control.GetAddress(value);
    return AddressToText(value);
}

} // namespace

CSetupIpDlg::CSetupIpDlg(Session& session, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
    , m_ui(std::make_unique<Ui::CSetupIpDlg>())
    , m_session(session)
    , m_dispatcher(session.dispatcher())
    , m_transport(session.transport())
{
    m_ui->setupUi(this);
    FitButtonTexts(*this);
    for (QLabel* label : findChildren<QLabel*>()) {
        if (QWidget* buddy = label->buddy())
            buddy->setAccessibleName(LabelName(label->text()));
    }
    m_ui->IDC_EDIT_USERNAME->setMaxLength(static_cast<int>(CredentialLimit));
    m_ui->IDC_EDIT_PASSWORD->setMaxLength(static_cast<int>(CredentialLimit));
    m_ui->IDC_IP_ADDRESS->SetFieldRanges(IpAddressFields);
    m_ui->IDC_IP_NETMASK->SetFieldRanges(NetmaskFields);
    m_ui->IDC_IP_GATEWAY->SetFieldRanges(GatewayFields);
    DisableControls();
    // Apply is disabled until the device has answered: the focus starts on
    // the first control that takes it.
    m_ui->IDCANCEL->setFocus(Qt::TabFocusReason);

    connect(m_ui->IDC_BTN_APPLY, &QPushButton::clicked, this, &CSetupIpDlg::OnApplyChanges);
    connect(m_ui->IDC_CHK_DHCP, &QCheckBox::clicked, this, &CSetupIpDlg::OnDhcpClicked);
    connect(m_ui->IDCANCEL, &QPushButton::clicked, this, &CSetupIpDlg::reject);
    const std::pair<QtIpAddressCtrl*, int> fields[] = {
        {m_ui->IDC_IP_ADDRESS, IpAddrIndex}, {m_ui->IDC_IP_NETMASK, SubnetMaskIndex}, {m_ui->IDC_IP_GATEWAY, GatewayIndex}};
    for (const auto& [control, index] : fields) {
        connect(control, &QtIpAddressCtrl::FieldChanged, this,
                [this, control = control, index = index] { OnFieldChanged(*control, index); });
    }
}

// The job goes first: it stops, and calls nothing more.
CSetupIpDlg::~CSetupIpDlg()
{
    m_job.reset();
    m_dispatcher.Cancel(m_pollTimer);
    m_dispatcher.Cancel(m_finishedCall);
    m_dispatcher.Cancel(m_refuseCall);
}

void CSetupIpDlg::OnFinishedCall()
{
    if (std::optional<JobReport> report = std::exchange(m_finishedReport, std::nullopt))
        OnJobFinished(*report);
}

void CSetupIpDlg::SetMacText(const std::string& text)
{
    m_strMac = text;
}

void CSetupIpDlg::SetDeviceAddress(std::string address, unsigned interfaceIndex)
{
    m_strAddress = std::move(address);
    m_nInterface = interfaceIndex;
}

void CSetupIpDlg::SetDeviceLine(std::string line)
{
    const QString text = QString::fromStdString(line);
    m_ui->IDC_TEXT_DEVICE->setText(text);
    setAccessibleDescription(text);
}

void CSetupIpDlg::SetSetting(std::string_view name, std::string_view value)
{
    const auto* found = std::find(std::begin(SettingNames), std::end(SettingNames), name);
    if (found != std::end(SettingNames))
        m_settings[static_cast<std::size_t>(found - std::begin(SettingNames))].assign(value);
}

void CSetupIpDlg::DisableControls()
{
    m_ui->IDC_BTN_APPLY->setEnabled(false);
    m_ui->IDC_CHK_DHCP->setEnabled(false);
    EnableFields(false);
}

void CSetupIpDlg::EnableFields(bool enable)
{
    for (QWidget* field : std::initializer_list<QWidget*>{m_ui->IDC_IP_GATEWAY, m_ui->IDC_IP_ADDRESS,
                                                          m_ui->IDC_IP_NETMASK, m_ui->IDC_EDIT_USERNAME,
                                                          m_ui->IDC_EDIT_PASSWORD, m_ui->neverBroadcast})
        field->setEnabled(enable);
}

void CSetupIpDlg::FillControls()
{
    if (m_bEnded)
        return;
    m_ui->IDC_IP_ADDRESS->SetAddress(AddressFromText(Setting(IpAddrIndex)));
    m_ui->IDC_IP_NETMASK->SetAddress(AddressFromText(Setting(SubnetMaskIndex)));
    m_ui->IDC_IP_GATEWAY->SetAddress(AddressFromText(Setting(GatewayIndex)));

    const int dhcp = LeadingInteger(Setting(DhcpIndex));
    m_ui->IDC_CHK_DHCP->setChecked(dhcp == 1);
    if (m_nInitialDhcp == -1)
        m_nInitialDhcp = dhcp;
    // A device that did not report DHCP 1 at the first fill never gets the
    // box enabled while the dialog lives.
    if (m_nInitialDhcp == 1)
        m_ui->IDC_CHK_DHCP->setEnabled(true);

    EnableFields(true);
    m_ui->IDC_BTN_APPLY->setEnabled(true);
    UpdateBroadcastWarning();
}

std::optional<CredentialRoute> CSetupIpDlg::RouteBeforeApply() const
{
    if (std::optional<CredentialRoute> listed = m_session.CredentialRouteOf(m_strMac);
        listed && !listed->address.empty())
        return listed;
    if (m_strAddress.empty())
        return std::nullopt;
    // Not listed (opened for a device the table no longer holds): the
    // interface it answered on, else the one whose network holds its
    // address, as the job chooses.
    const InterfaceSet* interfaces = m_transport.Interfaces();
    const std::optional<NetworkInterface> answeredOn =
        interfaces ? interfaces->Reaching(m_nInterface, m_strAddress) : std::nullopt;
    return RouteBeforeQuery(m_strAddress, answeredOn ? &*answeredOn : nullptr,
                            m_session.SharedAddressCheck(m_strMac)(m_strAddress));
}

void CSetupIpDlg::UpdateBroadcastWarning()
{
    const std::optional<CredentialRoute> route = RouteBeforeApply();
    QString text;
    if (route && !route->Unicast())
        text = QString::fromStdString(BroadcastWarningText(route->interfaceName, TranslatedText));
    ShowWarningLine(*m_ui->broadcastWarning, text);
}

void CSetupIpDlg::SetCredentials(JobPlan& plan) const
{
    plan.credentials = {m_ui->IDC_EDIT_USERNAME->text().toStdString(), m_ui->IDC_EDIT_PASSWORD->text().toStdString()};
    plan.broadcast = m_ui->neverBroadcast->isChecked() ? CredentialBroadcast::Refuse
                                                       : CredentialBroadcast::AskIfUnanswered;
    plan.addressShared = m_session.SharedAddressCheck(m_strMac);
}

CSetupIpDlg::Retry CSetupIpDlg::RetryByBroadcast(const JobReport& report, JobPlan plan, Phase phase)
{
    const CredentialRoute route = report.route.value_or(CredentialRoute{BroadcastReason::NoUnicastAnswer, {}, {}, 0});
    const QPointer<CSetupIpDlg> self(this);
    bool yes = false;
    if (m_ui->neverBroadcast->isChecked()) {
        ShowMessage(QString::fromStdString(BroadcastRefusedText(m_strMac, route, TranslatedText)));
    } else {
        const QString question =
            QString::fromStdString(AskBroadcastText(m_strMac, route.interfaceName, TranslatedText));
        yes = MessageBox::question(this, question, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    }
    if (!self || m_bEnded)
        return Retry::Ended;
    if (!yes)
        return Retry::Refused;
    plan.broadcast = CredentialBroadcast::Allow;
    // A change is polled for its result; the reboot's note came as the
    // reboot was first asked for.
    if (phase == Phase::Changing)
        m_dispatcher.Schedule(m_pollTimer, PollPeriodMs);
    else
        m_bRebooting = true;
    StartJob(phase, plan);
    return Retry::Started;
}

void CSetupIpDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Once: a window restored by the window manager is shown again.
    if (event->spontaneous() || std::exchange(m_bShown, true))
        return;
    if (!AddressesOneDevice()) {
        // Told once the dialog is up: a box does not belong in its showing.
        m_dispatcher.Post(m_refuseCall);
        return;
    }
    // The device's answers may be dropped before they reach the tool:
    // counted from here, told with the first outcome that explains a failure.
    m_reversePath.Begin(m_transport.ReversePathFilter());
    JobListener& listener = *this;
    m_job = std::make_unique<DeviceJob>(m_transport, m_dispatcher, listener, m_strMac, m_strAddress, m_nInterface);
    m_ui->IDC_BTN_APPLY->setEnabled(false);
    UpdateBroadcastWarning();
    JobPlan read;
    read.read = true;
    StartJob(Phase::Reading, read);
}

void CSetupIpDlg::RefuseDevice()
{
    ShowMessage(Translated(std::string(MsgNoDeviceMac)));
    Abandon();
}

bool CSetupIpDlg::AddressesOneDevice() const
{
    return ParseDeviceMac(m_strMac).has_value();
}

bool CSetupIpDlg::StartJob(Phase phase, const JobPlan& plan)
{
    m_phase = phase;
    return m_job && m_job->Start(plan);
}

bool CSetupIpDlg::Restarting() const
{
    return m_bRebooting && ((m_job && m_job->Running()) || m_finishedReport);
}

void CSetupIpDlg::StoreSettings(const DeviceSettings& settings)
{
    const std::pair<const std::optional<std::string>*, std::size_t> fields[] = {{&settings.ipAddr, IpAddrIndex},
                                                                                {&settings.netmask, SubnetMaskIndex},
                                                                                {&settings.gateway, GatewayIndex},
                                                                                {&settings.dhcp, DhcpIndex}};
    for (const auto& [value, index] : fields) {
        if (*value)
            m_settings[index] = **value;
    }
}

// The flag says whether the control's dotted text equals the value as the
// device spelled it: a text comparison, so 192.168.001.001 from the device
// never matches what the control shows.
void CSetupIpDlg::OnFieldChanged(const QtIpAddressCtrl& control, int index)
{
    if (m_bEnded)
        return;
    m_changed[static_cast<std::size_t>(index)] = ReadAddressText(control) != Setting(index);
}

// Compared with the stored value, not with the value of the first
// fill; a value other than 0 or 1 never sets the flag.
void CSetupIpDlg::OnDhcpClicked()
{
    if (m_bEnded)
        return;
    const int value = LeadingInteger(Setting(DhcpIndex));
    const bool ticked = m_ui->IDC_CHK_DHCP->isChecked();
    m_changed[DhcpIndex] = (value == 1 && !ticked) || (value == 0 && ticked);
}

void CSetupIpDlg::OnApplyChanges()
{
    if (m_bEnded)
        return;
    SettingsInput input;
    input.ipAddress = ReadAddress(*m_ui->IDC_IP_ADDRESS);
    input.netmask = ReadAddress(*m_ui->IDC_IP_NETMASK);
    input.gateway = ReadAddress(*m_ui->IDC_IP_GATEWAY);
    input.ipChanged = m_changed[IpAddrIndex];
    input.netmaskChanged = m_changed[SubnetMaskIndex];
    input.gatewayChanged = m_changed[GatewayIndex];
    input.dhcpChanged = m_changed[DhcpIndex];
    input.dhcpTicked = m_ui->IDC_CHK_DHCP->isChecked();
    const std::string userName = m_ui->IDC_EDIT_USERNAME->text().toStdString();
    const std::string password = m_ui->IDC_EDIT_PASSWORD->text().toStdString();
    input.userName = userName;
    input.password = password;

    const ValidationOutcome outcome = ValidateSettings(input);
    // Values accepted before a failure stay stored.
    std::optional<std::string> dhcp;
    if (outcome.dhcp)
        dhcp = *outcome.dhcp == 1 ? "1" : "0";
    StoreSettings({outcome.ipAddress, outcome.subnetMask, outcome.gateway, dhcp});

    if (!outcome.Accepted()) {
        ShowMessage(Translated(std::string(outcome.failure)));
        const std::pair<FocusField, QWidget*> controls[] = {
            {FocusField::IpAddress, m_ui->IDC_IP_ADDRESS},   {FocusField::Netmask, m_ui->IDC_IP_NETMASK},
            {FocusField::Gateway, m_ui->IDC_IP_GATEWAY},     {FocusField::UserName, m_ui->IDC_EDIT_USERNAME},
            {FocusField::Password, m_ui->IDC_EDIT_PASSWORD}};
        for (const auto& [field, control] : controls) {
            if (field == outcome.focus)
                control->setFocus(Qt::OtherFocusReason);
        }
        return;
    }

    if (!AddressesOneDevice()) {
        ShowMessage(Translated(std::string(MsgNoDeviceMac)));
        return;
    }

    DisableControls();
    m_changeReport.reset();
    JobPlan change;
    change.read = false;
    change.change = SettingsRequest::From(outcome.Change());
    // The form's own check ("No change is made!") compares texts as the
    // device spelled them; what passes it goes out.
    change.skipUnchanged = false;
    SetCredentials(change);
    m_changePlan = change;
    // Scheduled before the job starts: a send that fails at once ends the
    // job, and that end cancels the poll.
    m_dispatcher.Schedule(m_pollTimer, PollPeriodMs);
    StartJob(Phase::Changing, change);
}

void CSetupIpDlg::OnPollTimer()
{
    if (m_bEnded)
        return;
    if (!m_changeReport) {
        m_dispatcher.Schedule(m_pollTimer, PollPeriodMs);
        return;
    }
    OnChangeEnded(*std::exchange(m_changeReport, std::nullopt));
}

QString CSetupIpDlg::Explained(const JobReport& report, const QString& hint)
{
    QString text = QString::fromStdString(OutcomeText(OutcomeOf(m_strMac, report), TranslatedText));
    if (!hint.isEmpty())
        text += QLatin1Char(' ') + hint;
    const InterfaceSet* listed = m_transport.Interfaces();
    if (const std::optional<ReversePathNote> dropped =
            m_reversePath.End(listed ? listed->All() : std::vector<NetworkInterface>()))
        text += QStringLiteral("\n\n") + QString::fromStdString(ReversePathText(*dropped, TranslatedText));
    return text;
}

void CSetupIpDlg::ShowRefusal(const JobReport& report)
{
    if (report.outcome == JobOutcome::AuthenticationError || report.outcome == JobOutcome::UnknownResult)
        ShowMessage(Explained(report));
}

void CSetupIpDlg::OnChangeEnded(const JobReport& report)
{
    if (report.outcome == JobOutcome::Stored) {
        FinishChange();
        return;
    }
    if (report.outcome == JobOutcome::NeedsBroadcast && m_changePlan) {
        // Refused to broadcast: nothing with the password was sent.
        if (RetryByBroadcast(report, *m_changePlan, Phase::Changing) == Retry::Refused)
            FillControls();
        return;
    }
    ShowRefusal(report);
    FillControls();
}

void CSetupIpDlg::FinishChange()
{
    const QPointer<CSetupIpDlg> self(this);
    const MessageBox::Button answer = MessageBox::question(
        this, tr("Change setting successfully!\n\nDo you want to reboot the target to take effect immediately?"),
        QMessageBox::Ok | QMessageBox::Cancel);
    if (!self || m_bEnded)
        return;
    // The values applied stay stored: a refused reboot gives them back.
    JobPlan plan;
    plan.read = false;
    plan.verify = true;
    if (answer == QMessageBox::Ok) {
        // The restart wait counts from the reboot request; the note does not
        // hold it up.
        plan.reboot = true;
        SetCredentials(plan);
        m_rebootPlan = plan;
        m_bRebooting = true;
        if (!StartJob(Phase::Rereading, plan) || !m_bRebooting || !m_job->Running())
            return;
        ShowMessage(tr("It may take about one minute to reboot the target."));
        return;
    }
    StartJob(Phase::Rereading, plan);
}

void CSetupIpDlg::JobProgress(DeviceJob& /*job*/, JobStep step, int secondsLeft, int /*queriesSent*/)
{
    if (step == JobStep::Restart && secondsLeft > 0)
        ShowProgress(tr("Waiting for the device to restart… %d s"), secondsLeft);
    else if (step == JobStep::Verify && secondsLeft > 0)
        ShowProgress(tr("Reading the device's settings… %d s"), secondsLeft);
}

void CSetupIpDlg::JobSendFailed(DeviceJob& /*job*/, Request /*request*/, int error, std::string_view interfaceName)
{
    ShowMessage(QString::fromStdString(SendFailureText(TranslatedText(MsgDeviceSendFailed), error, interfaceName)));
}

void CSetupIpDlg::JobFinished(DeviceJob& /*job*/, const JobReport& report)
{
    if (!report.address.empty())
        m_strAddress = report.address;
    if (m_bEnded)
        return;
    // A refusal of the reboot arrives as a reply; its message waits for the
    // queue. Everything else ends from a deadline or shows no box.
    // A reboot held back for its password may end inside the job's start;
    // its box waits for the queue too.
    const bool refused = report.outcome == JobOutcome::AuthenticationError ||
                         report.outcome == JobOutcome::UnknownResult || report.outcome == JobOutcome::NeedsBroadcast;
    if (m_phase == Phase::Rereading && refused) {
        m_finishedReport = report;
        m_dispatcher.Post(m_finishedCall);
        return;
    }
    OnJobFinished(report);
}

void CSetupIpDlg::OnJobFinished(const JobReport& report)
{
    if (m_bEnded)
        return;
    if (m_bAskingStop) {
        m_deferredReport = report;
        return;
    }
    switch (m_phase) {
    case Phase::Reading:
        if (report.outcome == JobOutcome::Timeout) {
            // Nothing to edit: the dialog closes.
            ShowMessage(Explained(report));
            Abandon();
        } else if (report.before) {
            StoreSettings(*report.before);
            FillControls();
        }
        return;
    case Phase::Changing:
        if (report.outcome == JobOutcome::Timeout || report.outcome == JobOutcome::SendFailed) {
            m_dispatcher.Cancel(m_pollTimer);
            if (report.outcome == JobOutcome::Timeout)
                ShowMessage(Explained(report));
            FillControls();
            return;
        }
        m_changeReport = report;
        return;
    case Phase::Rereading:
        OnRereadEnded(report);
        return;
    }
}

void CSetupIpDlg::OnRereadEnded(const JobReport& report)
{
    const bool rebooted = std::exchange(m_bRebooting, false);
    switch (report.outcome) {
    case JobOutcome::Verified:
        m_reread = report.after;
        if (report.after)
            StoreSettings(*report.after);
        Abandon();
        return;
    case JobOutcome::NotVerified:
        if (rebooted)
            ShowMessage(Explained(report, tr("Press Discover to look for it.")));
        Abandon();
        return;
    case JobOutcome::NeedsBroadcast:
        if (rebooted && m_rebootPlan && RetryByBroadcast(report, *m_rebootPlan, Phase::Rereading) != Retry::Refused)
            return;
        break;
    default:
        ShowRefusal(report);
        break;
    }
    // A refused reboot ends the wait: the form comes back.
    ShowProgress({}, 0);
    FillControls();
}


// While the device restarts the user is asked first; the job runs on
// meanwhile, and one that ends during the question is handled once it is
// answered.
void CSetupIpDlg::reject()
{
    if (m_bEnded)
        return;
    if (Restarting()) {
        if (m_bAskingStop)
            return;
        m_bAskingStop = true;
        const QPointer<CSetupIpDlg> self(this);
        const MessageBox::Button answer =
            MessageBox::question(this, tr("The device is restarting. Stop waiting for it?"));
        if (!self)
            return;
        m_bAskingStop = false;
        if (m_bEnded)
            return;
        if (answer != QMessageBox::Yes) {
            if (std::optional<JobReport> report = std::exchange(m_deferredReport, std::nullopt))
                OnJobFinished(*report);
            return;
        }
    }
    Abandon();
}

void CSetupIpDlg::Abandon()
{
    if (!m_bEnded)
        done(QDialog::Rejected);
}

void CSetupIpDlg::done(int result)
{
    if (!m_bEnded) {
        m_bEnded = true;
        // Ended however: nothing more is sent to the device.
        m_dispatcher.Cancel(m_pollTimer);
        m_dispatcher.Cancel(m_finishedCall);
        m_dispatcher.Cancel(m_refuseCall);
        m_finishedReport.reset();
        m_deferredReport.reset();
        m_changeReport.reset();
        if (m_job) {
            m_job->Stop();
            m_strAddress = m_job->Address();
        }
        m_bRebooting = false;
    }
    QDialog::done(result);
}

void CSetupIpDlg::ShowMessage(const QString& text)
{
    MessageBox::information(this, text);
}

void CSetupIpDlg::ShowProgress(const QString& format, int secondsLeft)
{
    m_ui->IDC_TEXT_PROGRESS->setText(QString::fromStdString(FormatError(format.toStdString(), secondsLeft)));
}

} // namespace pemblor
