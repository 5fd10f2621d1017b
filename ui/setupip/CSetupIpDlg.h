#pragma once
// Public surface agreed with the device list window.
#include "engine/SetupIpTarget.h"
#include "toolkit/IDialogHandler.h"
#include "ui/setupip/SettingsMap.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace pemblor {

class CConversation;
class IButton;
class ICheckBox;
class IEdit;
class IIpAddressCtrl;
class IToolkit;

// The Setup IP dialog: reads one device's addressing settings, tracks what
// the user changed, sends the change and re-reads the device.
//
// Threads: everything runs on the user-interface thread except SetSetting,
// which the receive thread calls under the conversation's dialog lock.
class CSetupIpDlg final : public SetupIpTarget, public IDialogHandler {
public:
    // `owner` is the device list window, reached as the dialog's parent.
    explicit CSetupIpDlg(CConversation& owner);
    ~CSetupIpDlg() override;
    CSetupIpDlg(const CSetupIpDlg&) = delete;
    CSetupIpDlg& operator=(const CSetupIpDlg&) = delete;

    void SetMacText(const std::string& text);
    // Runs the dialog modally, owned by the owner's window.
    int DoModal();

    // SetupIpTarget
    void SetSetting(std::string_view name, std::string_view value) override;
    void FillControls() override;
    IWindow* GetWindow() override;

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
    void ShowSendFailure();
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
    int m_nSettingCount = 0;
    // Both exist from initialisation until the dialog closes.
    std::unique_ptr<std::string[]> m_settingNames;
    std::unique_ptr<std::uint8_t[]> m_changed;
    SettingsMap m_settings;

    CConversation& m_owner;
    // Set while the window exists.
    IWindow* m_pWindow = nullptr;
};

} // namespace pemblor
