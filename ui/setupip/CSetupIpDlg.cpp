#include "ui/setupip/CSetupIpDlg.h"

#include "engine/Conversation.h"
#include "engine/RereadSchedule.h"
#include "common/FormatError.h"
#include "common/InterfaceTexts.h"
#include "protocol/MacText.h"
#include "protocol/Requests.h"
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

#include <limits>
#include <string>

namespace pemblor {

namespace {

constexpr int SettingCount = 6;
constexpr const char* SettingNames[SettingCount] = {"USER_NAME",   "USER_PASSWORD",   "IP_ADDR",
                                                    "SUBNET_MASK", "DEFAULT_GATEWAY", "DHCP"};

// m_nResult while no command reply has been stored.
constexpr int NoResultYet = std::numeric_limits<int>::min();

constexpr unsigned PollTimerId = 1;
constexpr unsigned PollPeriodMs = 1000;
constexpr unsigned RebootWaitMs = RereadSchedule::RebootWaitMs;
constexpr unsigned ProgressStepMs = 1000;

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

} // namespace

CSetupIpDlg::CSetupIpDlg(IToolkit& toolkit, Conversation& conversation, IWindow* owner)
    : m_nResult(NoResultYet), m_toolkit(toolkit), m_conversation(conversation), m_pOwner(owner)
{
}

CSetupIpDlg::~CSetupIpDlg() = default;

IToolkit& CSetupIpDlg::Toolkit()
{
    return m_toolkit;
}

void CSetupIpDlg::SetMacText(const std::string& text)
{
    m_strMac = text;
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
    SendDetailQuery(true);
}

bool CSetupIpDlg::AddressesOneDevice() const
{
    return ParseDeviceMac(m_strMac).has_value();
}

void CSetupIpDlg::SendDetailQuery(bool armTimer)
{
    if (!AddressesOneDevice())
        return;
    m_btnApply->EnableWindow(false);
    m_conversation.BeginDetailQuery(armTimer);
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
    // Cleared before the request leaves, so the device's result always lands
    // on top of it. Not -1: a reply too short to hold a result reads as -1,
    // and the poll tells that apart from no command reply at all.
    m_nResult = NoResultYet;
    if (!m_conversation.BeginSettingsChange(userName, password, outcome.Change()))
        return;
    m_nPollTimer = Toolkit().SetTimer(*m_pWindow, PollTimerId, PollPeriodMs);
}

void CSetupIpDlg::OnTimer(unsigned /*id*/)
{
    OnPollTimer();
}

// m_nResult is read only once the state has left AwaitingSetResult: the
// receive thread stores the result before it changes the state.
void CSetupIpDlg::OnPollTimer()
{
    if (m_pWindow == nullptr)
        return;
    Toolkit().KillTimer(*m_pWindow, m_nPollTimer);
    if (m_conversation.State() == AwaitingSetResult) {
        m_nPollTimer = Toolkit().SetTimer(*m_pWindow, PollTimerId, PollPeriodMs);
        return;
    }
    const int result = m_nResult;
    if (result == 0) {
        FinishChange();
    } else if (result == 1) {
        ShowMessage(MsgAuthError);
        FillControls();
    } else if (result != NoResultYet) {
        ShowMessage(FormatError(Toolkit().Translate(MsgUnknownResult), result));
        FillControls();
    }
}

// Waits go through WaitOnUiThread, which keeps the windows painting and
// serves timers and the receive thread's calls but refuses user input, so the
// user-interface thread never freezes for the minute and more this can take.
void CSetupIpDlg::FinishChange()
{
    IToolkit& toolkit = Toolkit();
    const int answer =
        toolkit.MessageBox(m_pWindow, MsgRebootQuestion, MbButtons::OkCancel, MbIcon::Question);
    if (answer == IdOk) {
        SendReboot();
        ShowMessage(MsgRebootWait);
        toolkit.BeginWaitCursor();
        // Waited a second at a time so that the line can count down.
        for (unsigned waited = 0; waited < RebootWaitMs; waited += ProgressStepMs) {
            ShowProgress(MsgProgressRestart, static_cast<int>((RebootWaitMs - waited) / 1000));
            toolkit.WaitOnUiThread(ProgressStepMs);
        }
    } else {
        toolkit.BeginWaitCursor();
    }
    ClearSettings();
    SendDetailQuery(false);

    RereadSchedule schedule;
    int secondsLeft = RereadSchedule::BudgetSeconds;
    // A close request served during a wait has already ended the dialog: the
    // loop then stops, and the close below is ignored by OnCancel.
    while (!Ended() && m_conversation.State() != DetailReceived) {
        const RereadSchedule::Step step = schedule.Next();
        if (step == RereadSchedule::Step::GiveUp)
            break;
        if (step == RereadSchedule::Step::ResendThenPause)
            SendDetailQuery(false);
        ShowProgress(MsgProgressReRead, secondsLeft--);
        toolkit.WaitOnUiThread(RereadSchedule::PauseMs);
    }
    toolkit.EndWaitCursor();
    OnClose();
}

void CSetupIpDlg::SendReboot()
{
    if (!AddressesOneDevice())
        return;
    m_conversation.SendReboot(m_editUserName->GetWindowText(), m_editPassword->GetWindowText());
}

void CSetupIpDlg::OnCancel()
{
    const bool ended = Ended();
    m_settingNames.reset();
    m_changed.reset();
    if (m_pWindow == nullptr || ended)
        return;
    Toolkit().EndDialog(*m_pWindow, IDCANCEL);
}

void CSetupIpDlg::ShowMessage(std::string_view text)
{
    Toolkit().MessageBox(m_pWindow, std::string(text), MbButtons::Ok, MbIcon::None);
}

void CSetupIpDlg::ShowProgress(const char* format, int secondsLeft)
{
    if (m_pWindow)
        m_pWindow->SetItemText(IDC_TEXT_PROGRESS, FormatError(Toolkit().Translate(format), secondsLeft));
}

void CSetupIpDlg::OnSendFailed(int error, std::string_view interfaceName)
{
    const std::string format = Toolkit().Translate(MsgDeviceSendFailed);
    ShowMessage(interfaceName.empty() ? FormatError(format, error) : SendFailureText(format, error, interfaceName));
}

// The device did not answer in time: a detail query closes the dialog, a
// settings change gives the form back.
void CSetupIpDlg::OnConversationTimedOut(ConversationState ended)
{
    Toolkit().MessageBox(m_pWindow, MsgTimeOut, MbButtons::Ok, MbIcon::None);
    if (ended == QueryingDetail) {
        if (m_pWindow)
            Toolkit().PostClose(*m_pWindow);
    } else if (ended == AwaitingSetResult) {
        FillControls();
    }
}

} // namespace pemblor
