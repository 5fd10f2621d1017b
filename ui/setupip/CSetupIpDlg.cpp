#include "ui/setupip/CSetupIpDlg.h"

#include "engine/RereadSchedule.h"
#include "engine/Session.h"
#include "common/FormatError.h"
#include "common/InterfaceTexts.h"
#include "protocol/MacText.h"
#include "resources/ResourceIds.h"
#include "common/EngineTexts.h"
#include "toolkit/IButton.h"
#include "toolkit/ICheckBox.h"
#include "toolkit/IEdit.h"
#include "toolkit/IIpAddressCtrl.h"
#include "toolkit/IToolkit.h"
#include "toolkit/IWindow.h"
#include "common/SettingText.h"
#include "common/ValidateSettings.h"

#include <string>
#include <utility>

namespace pemblor {

namespace {

constexpr int SettingCount = 6;
constexpr const char* SettingNames[SettingCount] = {"USER_NAME",   "USER_PASSWORD",   "IP_ADDR",
                                                    "SUBNET_MASK", "DEFAULT_GATEWAY", "DHCP"};

// The change's result is taken at the first tick after it arrived, as the
// dialog has always done (the reboot question's timing).
constexpr unsigned PollTimerId = 1;
constexpr unsigned PollPeriodMs = 1000;

constexpr const char* MsgAuthError = PEMBLOR_TR_NOOP("Pemblor", "Authentication Error!");
constexpr const char* MsgTimeOut = PEMBLOR_TR_NOOP("Pemblor", "Time Out!");
constexpr const char* MsgRebootQuestion = PEMBLOR_TR_NOOP(
    "Pemblor", "Change setting successfully!\n\nDo you want to reboot the target to take effect immediately?");
constexpr const char* MsgRebootWait =
    PEMBLOR_TR_NOOP("Pemblor", "It may take about one minute to reboot the target.");
constexpr const char* MsgUnknownResult =
    PEMBLOR_TR_NOOP("Pemblor", "The device answered with an unknown result (%d).");
constexpr const char* MsgProgressRestart = PEMBLOR_TR_NOOP("Pemblor", "Waiting for the device to restart… %d s");
constexpr const char* MsgProgressReRead = PEMBLOR_TR_NOOP("Pemblor", "Reading the device's settings… %d s");
constexpr const char* MsgStopWaiting = PEMBLOR_TR_NOOP("Pemblor", "The device is restarting. Stop waiting for it?");
constexpr const char* MsgNotBackAt =
    PEMBLOR_TR_NOOP("Pemblor", "The device did not answer after restarting. It may be at its new address %1 or "
                               "still restarting: press Discover to look for it.");
constexpr const char* MsgNotBack = PEMBLOR_TR_NOOP(
    "Pemblor", "The device did not answer after restarting. It may still be restarting: press Discover to look for it.");
constexpr const char* MsgOnlyOldAddress =
    PEMBLOR_TR_NOOP("Pemblor", "After restarting, the device answered only from its old address %1, not from its new "
                               "address %2: the change may not have taken effect. Press Discover to look for it.");

struct FieldRange {
    int low, high;
};
constexpr FieldRange IpAddressRanges[4] = {{1, 223}, {0, 255}, {0, 255}, {0, 254}};
constexpr FieldRange NetmaskRanges[4] = {{0, 255}, {0, 255}, {0, 255}, {0, 254}};
constexpr FieldRange GatewayRanges[4] = {{0, 223}, {0, 255}, {0, 255}, {0, 254}};

void SetRanges(IIpAddressCtrl& control, const FieldRange (&ranges)[4])
{
    for (int field = 0; field < 4; ++field)
        control.SetFieldRange(field, ranges[field].low, ranges[field].high);
}

AddressInput ReadAddress(const IIpAddressCtrl& control)
{
    AddressInput input;
    input.blank = control.IsBlank();
    control.GetAddress(input.value);
    return input;
}

std::string ReadAddressText(const IIpAddressCtrl& control)
{
    std::uint32_t value = 0;
    control.GetAddress(value);
    return AddressToText(value);
}

// `format` with "%1" (and "%2") replaced.
std::string Filled(std::string format, std::string_view first, std::string_view second = {})
{
    if (const auto at = format.find("%1"); at != std::string::npos)
        format.replace(at, 2, first);
    if (const auto at = format.find("%2"); at != std::string::npos)
        format.replace(at, 2, second);
    return format;
}

} // namespace

CSetupIpDlg::CSetupIpDlg(IToolkit& toolkit, Session& session, IWindow* owner)
    : m_toolkit(toolkit), m_transport(session.transport()), m_dispatcher(session.dispatcher()), m_pOwner(owner)
{
}

// The job goes first: it stops, and calls nothing more.
CSetupIpDlg::~CSetupIpDlg()
{
    m_job.reset();
    m_dispatcher.Cancel(m_finishedCall);
}

void CSetupIpDlg::FinishedCall::Run()
{
    if (std::optional<JobReport> report = std::exchange(m_dialog.m_finishedReport, std::nullopt))
        m_dialog.OnJobFinished(*report);
}

IToolkit& CSetupIpDlg::Toolkit()
{
    return m_toolkit;
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

int CSetupIpDlg::DoModal()
{
    const int result = Toolkit().RunModal(*this, IDD_SETUPIP, m_pOwner);
    OnDestroy();
    return result;
}

void CSetupIpDlg::SetSetting(std::string_view name, std::string_view value)
{
    m_settings.SetAt(name, value);
}

IWindow* CSetupIpDlg::GetWindow()
{
    return m_pWindow;
}

bool CSetupIpDlg::OnInitDialog(IWindow& window)
{
    m_pWindow = &window;
    m_chkDhcp = window.CheckBox(IDC_CHK_DHCP);
    m_editUserName = window.Edit(IDC_EDIT_USERNAME);
    m_editPassword = window.Edit(IDC_EDIT_PASSWORD);
    m_btnApply = window.Button(IDC_BTN_APPLY);
    m_ipNetmask = window.IpAddress(IDC_IP_NETMASK);
    m_ipAddress = window.IpAddress(IDC_IP_ADDRESS);
    m_ipGateway = window.IpAddress(IDC_IP_GATEWAY);
    window.SetItemText(IDC_TEXT_DEVICE, m_strDeviceLine);
    window.SetDescription(m_strDeviceLine);

    m_nInitialDhcp = -1;
    SetRanges(*m_ipAddress, IpAddressRanges);
    SetRanges(*m_ipNetmask, NetmaskRanges);
    SetRanges(*m_ipGateway, GatewayRanges);
    DisableControls();

    m_nSettingCount = SettingCount;
    m_settingNames = std::make_unique<std::string[]>(SettingCount);
    for (int i = 0; i < m_nSettingCount; ++i)
        m_settingNames[i] = SettingNames[i];
    m_changed = std::make_unique<std::uint8_t[]>(SettingCount);

    m_editUserName->SetLimitText(static_cast<int>(CredentialLimit));
    m_editPassword->SetLimitText(static_cast<int>(CredentialLimit));
    ClearSettings();
    return true;
}

void CSetupIpDlg::OnDestroy()
{
    // Closed however: nothing more is sent to the device.
    m_dispatcher.Cancel(m_finishedCall);
    m_finishedReport.reset();
    if (m_job) {
        m_job->Stop();
        m_strAddress = m_job->Address();
    }
    m_bRebooting = false;
    m_pWindow = nullptr;
    m_chkDhcp = nullptr;
    m_editUserName = nullptr;
    m_editPassword = nullptr;
    m_btnApply = nullptr;
    m_ipNetmask = nullptr;
    m_ipAddress = nullptr;
    m_ipGateway = nullptr;
}

void CSetupIpDlg::DisableControls()
{
    m_btnApply->EnableWindow(false);
    m_chkDhcp->EnableWindow(false);
    m_ipGateway->EnableWindow(false);
    m_ipAddress->EnableWindow(false);
    m_ipNetmask->EnableWindow(false);
    m_editUserName->EnableWindow(false);
    m_editPassword->EnableWindow(false);
}

void CSetupIpDlg::ClearSettings()
{
    if (!m_settingNames)
        return;
    for (int i = 0; i < m_nSettingCount; ++i)
        m_settings.SetAt(m_settingNames[i], "");
}

void CSetupIpDlg::FillControls()
{
    if (m_ipAddress == nullptr || !m_ipAddress->HasWindow())
        return;
    m_ipAddress->SetAddress(AddressFromText(m_settings.ValueOf(SettingNames[IpAddrIndex])));
    m_ipNetmask->SetAddress(AddressFromText(m_settings.ValueOf(SettingNames[SubnetMaskIndex])));
    m_ipGateway->SetAddress(AddressFromText(m_settings.ValueOf(SettingNames[GatewayIndex])));

    const int dhcp = LeadingInteger(m_settings.ValueOf(SettingNames[DhcpIndex]));
    m_chkDhcp->SetCheck(dhcp == 1 ? 1 : 0);
    if (m_nInitialDhcp == -1)
        m_nInitialDhcp = LeadingInteger(m_settings.ValueOf(SettingNames[DhcpIndex]));
    // A device that did not report DHCP 1 at the first fill never gets the
    // box enabled while the dialog lives.
    if (m_nInitialDhcp == 1)
        m_chkDhcp->EnableWindow(true);

    m_ipAddress->EnableWindow(true);
    m_ipNetmask->EnableWindow(true);
    m_ipGateway->EnableWindow(true);
    m_editUserName->EnableWindow(true);
    m_editPassword->EnableWindow(true);
    m_btnApply->EnableWindow(true);
}

void CSetupIpDlg::OnShowWindow()
{
    if (!AddressesOneDevice()) {
        ShowMessage(MsgNoDeviceMac);
        if (m_pWindow)
            Toolkit().PostClose(*m_pWindow);
        return;
    }
    JobListener& listener = *this;
    m_job = std::make_unique<DeviceJob>(m_transport, m_dispatcher, listener, m_strMac, m_strAddress, m_nInterface);
    m_btnApply->EnableWindow(false);
    JobPlan read;
    read.read = true;
    StartJob(Phase::Reading, read);
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
    const std::pair<const std::optional<std::string>*, int> fields[] = {
        {&settings.ipAddr, IpAddrIndex},
        {&settings.netmask, SubnetMaskIndex},
        {&settings.gateway, GatewayIndex},
        {&settings.dhcp, DhcpIndex}};
    for (const auto& [value, index] : fields) {
        if (*value)
            m_settings.SetAt(SettingNames[index], **value);
    }
}

void CSetupIpDlg::OnCommand(int id)
{
    if (m_pWindow == nullptr)
        return;
    if (id == IDC_BTN_APPLY)
        OnApplyChanges();
    else if (id == IDC_CHK_DHCP)
        OnDhcpClicked();
}

void CSetupIpDlg::OnNotify(int id, Notify code)
{
    if (code != Notify::FieldChanged || m_pWindow == nullptr)
        return;
    if (id == IDC_IP_ADDRESS)
        OnFieldChanged(m_ipAddress, IpAddrIndex);
    else if (id == IDC_IP_GATEWAY)
        OnFieldChanged(m_ipGateway, GatewayIndex);
    else if (id == IDC_IP_NETMASK)
        OnFieldChanged(m_ipNetmask, SubnetMaskIndex);
}

// The flag says whether the control's dotted text equals the value as the
// device spelled it: a text comparison, so 192.168.001.001 from the device
// never matches what the control shows.
void CSetupIpDlg::OnFieldChanged(IIpAddressCtrl* control, int index)
{
    const std::string text = ReadAddressText(*control);
    if (!m_changed)
        return;
    m_changed[index] = text != m_settings.ValueOf(SettingNames[index]) ? 1 : 0;
}

// Compared with the map's current value, not with the value of the first
// fill; a value other than 0 or 1 never sets the flag.
void CSetupIpDlg::OnDhcpClicked()
{
    const int value = LeadingInteger(m_settings.ValueOf(SettingNames[DhcpIndex]));
    const int state = m_chkDhcp->GetCheck();
    if (!m_changed)
        return;
    m_changed[DhcpIndex] = ((value == 1 && state == 0) || (value == 0 && state == 1)) ? 1 : 0;
}

void CSetupIpDlg::OnApplyChanges()
{
    if (!m_changed)
        return;
    SettingsInput input;
    input.ipAddress = ReadAddress(*m_ipAddress);
    input.netmask = ReadAddress(*m_ipNetmask);
    input.gateway = ReadAddress(*m_ipGateway);
    input.ipChanged = m_changed[IpAddrIndex] != 0;
    input.netmaskChanged = m_changed[SubnetMaskIndex] != 0;
    input.gatewayChanged = m_changed[GatewayIndex] != 0;
    input.dhcpChanged = m_changed[DhcpIndex] != 0;
    input.dhcpTicked = m_chkDhcp->GetCheck() == 1;
    const std::string userName = m_editUserName->GetWindowText();
    const std::string password = m_editPassword->GetWindowText();
    input.userName = userName;
    input.password = password;

    const ValidationOutcome outcome = ValidateSettings(input);
    // Values accepted before a failure stay stored.
    if (outcome.ipAddress)
        m_settings.SetAt(m_settingNames[IpAddrIndex], *outcome.ipAddress);
    if (outcome.subnetMask)
        m_settings.SetAt(m_settingNames[SubnetMaskIndex], *outcome.subnetMask);
    if (outcome.gateway)
        m_settings.SetAt(m_settingNames[GatewayIndex], *outcome.gateway);
    if (outcome.dhcp)
        m_settings.SetAt(m_settingNames[DhcpIndex], *outcome.dhcp == 1 ? "1" : "0");

    if (!outcome.Accepted()) {
        ShowMessage(outcome.failure);
        if (outcome.focus == FocusField::IpAddress)
            m_ipAddress->SetFocus();
        else if (outcome.focus == FocusField::Netmask)
            m_ipNetmask->SetFocus();
        else if (outcome.focus == FocusField::Gateway)
            m_ipGateway->SetFocus();
        else if (outcome.focus == FocusField::UserName)
            m_pWindow->SetFocus(IDC_EDIT_USERNAME);
        else if (outcome.focus == FocusField::Password)
            m_pWindow->SetFocus(IDC_EDIT_PASSWORD);
        return;
    }

    if (!AddressesOneDevice()) {
        ShowMessage(MsgNoDeviceMac);
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
    change.credentials = {userName, password};
    m_nPollTimer = Toolkit().SetTimer(*m_pWindow, PollTimerId, PollPeriodMs);
    StartJob(Phase::Changing, change);
}

void CSetupIpDlg::OnTimer(unsigned /*id*/)
{
    OnPollTimer();
}

void CSetupIpDlg::OnPollTimer()
{
    if (m_pWindow == nullptr || !m_changeReport)
        return;
    Toolkit().KillTimer(*m_pWindow, m_nPollTimer);
    const JobReport report = *m_changeReport;
    m_changeReport.reset();
    OnChangeEnded(report);
}

void CSetupIpDlg::ShowRefusal(const JobReport& report)
{
    if (report.outcome == JobOutcome::AuthenticationError)
        ShowMessage(MsgAuthError);
    else if (report.outcome == JobOutcome::UnknownResult)
        ShowMessage(FormatError(Toolkit().Translate(MsgUnknownResult), report.result));
}

void CSetupIpDlg::OnChangeEnded(const JobReport& report)
{
    switch (report.outcome) {
    case JobOutcome::Stored:
        FinishChange();
        return;
    default:
        ShowRefusal(report);
        break;
    }
    GiveFormBack();
}

void CSetupIpDlg::FinishChange()
{
    IToolkit& toolkit = Toolkit();
    const int answer =
        toolkit.MessageBox(m_pWindow, MsgRebootQuestion, MbButtons::OkCancel, MbIcon::Question);
    if (m_pWindow == nullptr)
        return;
    // The values applied stay stored: a refused reboot gives them back.
    JobPlan plan;
    plan.read = false;
    plan.verify = true;
    if (answer == IdOk) {
        // The restart wait counts from the reboot request; the note does not
        // hold it up.
        plan.reboot = true;
        plan.credentials = {m_editUserName->GetWindowText(), m_editPassword->GetWindowText()};
        m_bRebooting = true;
        if (!StartJob(Phase::Rereading, plan) || !m_bRebooting)
            return;
        ShowMessage(MsgRebootWait);
        return;
    }
    StartJob(Phase::Rereading, plan);
}

void CSetupIpDlg::JobProgress(DeviceJob& /*job*/, JobStep step, int secondsLeft, int /*queriesSent*/)
{
    if (step == JobStep::Restart && secondsLeft > 0)
        ShowProgress(MsgProgressRestart, secondsLeft);
    else if (step == JobStep::Verify && secondsLeft > 0)
        ShowProgress(MsgProgressReRead, secondsLeft);
}

void CSetupIpDlg::JobSendFailed(DeviceJob& /*job*/, Request /*request*/, int error, std::string_view interfaceName)
{
    const std::string format = Toolkit().Translate(MsgDeviceSendFailed);
    ShowMessage(interfaceName.empty() ? FormatError(format, error) : SendFailureText(format, error, interfaceName));
}

void CSetupIpDlg::JobFinished(DeviceJob& /*job*/, const JobReport& report)
{
    if (!report.address.empty())
        m_strAddress = report.address;
    if (m_pWindow == nullptr)
        return;
    // A refusal of the reboot arrives as a reply; its message waits for the
    // queue. Everything else ends from a deadline or shows no box.
    const bool refused =
        report.outcome == JobOutcome::AuthenticationError || report.outcome == JobOutcome::UnknownResult;
    if (m_phase == Phase::Rereading && refused) {
        m_finishedReport = report;
        m_dispatcher.Post(m_finishedCall);
        return;
    }
    OnJobFinished(report);
}

void CSetupIpDlg::OnJobFinished(const JobReport& report)
{
    if (m_pWindow == nullptr)
        return;
    if (m_bAskingStop) {
        m_deferredReport = report;
        return;
    }
    switch (m_phase) {
    case Phase::Reading:
        if (report.outcome == JobOutcome::Timeout) {
            // Nothing to edit: the dialog closes.
            ShowMessage(MsgTimeOut);
            if (m_pWindow)
                Toolkit().PostClose(*m_pWindow);
        } else if (report.before) {
            StoreSettings(*report.before);
            FillControls();
        }
        return;
    case Phase::Changing:
        if (report.outcome == JobOutcome::Timeout || report.outcome == JobOutcome::SendFailed) {
            Toolkit().KillTimer(*m_pWindow, m_nPollTimer);
            if (report.outcome == JobOutcome::Timeout)
                ShowMessage(MsgTimeOut);
            GiveFormBack();
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
    const bool rebooted = m_bRebooting;
    m_bRebooting = false;
    switch (report.outcome) {
    case JobOutcome::Verified:
        m_reread = report.after;
        if (report.after)
            StoreSettings(*report.after);
        EndWithCancel();
        return;
    case JobOutcome::NotVerified:
        if (rebooted) {
            IToolkit& toolkit = Toolkit();
            if (report.heardAfterRestart)
                ShowMessage(Filled(toolkit.Translate(MsgOnlyOldAddress), report.oldAddress, report.expectedAddress));
            else if (!report.expectedAddress.empty())
                ShowMessage(Filled(toolkit.Translate(MsgNotBackAt), report.expectedAddress));
            else
                ShowMessage(MsgNotBack);
        }
        EndWithCancel();
        return;
    default:
        ShowRefusal(report);
        break;
    }
    // A refused reboot ends the wait: the form comes back.
    ShowProgress(nullptr, 0);
    GiveFormBack();
}

void CSetupIpDlg::GiveFormBack()
{
    FillControls();
}

void CSetupIpDlg::EndWithCancel()
{
    if (m_pWindow)
        Toolkit().EndDialog(*m_pWindow, IDCANCEL);
}

// Escape, the Close button and the close box. While the device restarts
// the user is asked first; the job runs on meanwhile, and one that ends
// during the question is handled once it is answered.
void CSetupIpDlg::OnCancel()
{
    if (m_pWindow == nullptr)
        return;
    if (Restarting()) {
        if (m_bAskingStop)
            return;
        m_bAskingStop = true;
        const int answer = Toolkit().MessageBox(m_pWindow, MsgStopWaiting, MbButtons::YesNo, MbIcon::Question);
        m_bAskingStop = false;
        if (m_pWindow == nullptr)
            return;
        if (answer != IdOk) {
            if (std::optional<JobReport> report = std::exchange(m_deferredReport, std::nullopt))
                OnJobFinished(*report);
            return;
        }
    }
    Abandon();
}

void CSetupIpDlg::Abandon()
{
    if (m_job)
        m_job->Stop();
    m_bRebooting = false;
    m_deferredReport.reset();
    m_settingNames.reset();
    m_changed.reset();
    EndWithCancel();
}

void CSetupIpDlg::ShowMessage(std::string_view text)
{
    Toolkit().MessageBox(m_pWindow, std::string(text), MbButtons::Ok, MbIcon::None);
}

// A null format clears the line.
void CSetupIpDlg::ShowProgress(const char* format, int secondsLeft)
{
    if (m_pWindow)
        m_pWindow->SetItemText(IDC_TEXT_PROGRESS,
                               format ? FormatError(Toolkit().Translate(format), secondsLeft) : std::string());
}

} // namespace pemblor
