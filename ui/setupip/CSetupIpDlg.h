#pragma once
// Public surface agreed with the device list window.
#include "engine/ConversationState.h"
#include "engine/DetailTarget.h"
#include "toolkit/IDialogHandler.h"
#include "ui/setupip/SettingsMap.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace pemblor {

class Conversation;
class IButton;
class ICheckBox;
class IEdit;
class IIpAddressCtrl;
class IToolkit;
class IWindow;

// The Setup IP dialog: reads one device's addressing settings, tracks what
// the user changed, sends the change and re-reads the device.
//
// Threads: everything runs on the user-interface thread except SetSetting,
// which the receive thread calls under the conversation's device lock.
class CSetupIpDlg final : public DetailTarget, public IDialogHandler {
public:
    // `conversation` is the device list window's, with this dialog's device
    // selected; `owner` is that window, which stays disabled meanwhile.
    CSetupIpDlg(IToolkit& toolkit, Conversation& conversation, IWindow* owner);
    ~CSetupIpDlg() override;
    CSetupIpDlg(const CSetupIpDlg&) = delete;
    CSetupIpDlg& operator=(const CSetupIpDlg&) = delete;

    void SetMacText(const std::string& text);
    // The line at the top of the form that names the device edited, also
    // the dialog's accessible description.
    void SetDeviceLine(std::string line) { m_strDeviceLine = std::move(line); }
    // Runs the dialog modally, owned by the owner's window.
    int DoModal();

    // DetailTarget
    void SetSetting(std::string_view name, std::string_view value) override;
    void FillControls();
    IWindow* GetWindow();

    // What the conversation tells the device list window about this dialog's
    // device, passed on.
    void OnCommandResult(int result) { m_nResult = result; }
    void OnConversationTimedOut(ConversationState ended);
    // `interfaceName`: the interface the request could not leave by (empty
    // when the routes chose it).
    void OnSendFailed(int error, std::string_view interfaceName = {});

    // IDialogHandler
    bool OnInitDialog(IWindow& window) override;
    void OnShowWindow() override;
    void OnCommand(int id) override;
    void OnNotify(int id, Notify code) override;
    void OnTimer(unsigned id) override;
    void OnCancel() override;
    void OnDestroy() override;

private:
    // Indices into m_settingNames and m_changed.
    enum SettingIndex { UserNameIndex, PasswordIndex, IpAddrIndex, SubnetMaskIndex, GatewayIndex, DhcpIndex };

    IToolkit& Toolkit();
    void DisableControls();
    void ClearSettings();
    void SendDetailQuery(bool armTimer);
    void OnFieldChanged(IIpAddressCtrl* control, int index);
    void OnDhcpClicked();
    void OnApplyChanges();
    void OnPollTimer();
    void FinishChange();
    void SendReboot();
    void ShowMessage(std::string_view text);
    // The progress line: `format` with its "%d" filled with the seconds left.
    void ShowProgress(const char* format, int secondsLeft);
    // Whether m_strMac names one device; nothing is sent to it otherwise.
    bool AddressesOneDevice() const;
    // Closing releases the names and flags; while the window exists their
    // absence means the cancel command has ended the dialog already.
    bool Ended() const { return !m_changed; }

    ICheckBox* m_chkDhcp = nullptr;
    IEdit* m_editUserName = nullptr;
    IEdit* m_editPassword = nullptr;
    IButton* m_btnApply = nullptr;
    IIpAddressCtrl* m_ipNetmask = nullptr;
    IIpAddressCtrl* m_ipAddress = nullptr;
    IIpAddressCtrl* m_ipGateway = nullptr;
    unsigned m_nPollTimer = 0;
    int m_nInitialDhcp = -1;
    std::string m_strMac;
    std::string m_strDeviceLine;
    int m_nSettingCount = 0;
    // Both exist from initialisation until the dialog closes.
    std::unique_ptr<std::string[]> m_settingNames;
    std::unique_ptr<std::uint8_t[]> m_changed;
    SettingsMap m_settings;

    // Result of the last settings change, stored when the device's command
    // reply arrives, which is before the state leaves AwaitingSetResult.
    int m_nResult;
    IToolkit& m_toolkit;
    Conversation& m_conversation;
    IWindow* m_pOwner;
    // Set while the window exists.
    IWindow* m_pWindow = nullptr;
};

} // namespace pemblor
