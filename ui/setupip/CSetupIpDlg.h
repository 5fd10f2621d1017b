#pragma once
// Public surface agreed with the device list window.
#include "engine/DeviceJob.h"
#include "toolkit/IDialogHandler.h"
#include "ui/setupip/SettingsMap.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pemblor {

class IButton;
class ICheckBox;
class IEdit;
class IIpAddressCtrl;
class IToolkit;
class IWindow;
class Session;
class Transport;
class UiDispatcher;

// The Setup IP dialog: reads one device's addressing settings, tracks what
// the user changed, sends the change, offers the reboot and reads the device
// again, all through one job of its own for the device. Nothing waits on the
// user-interface thread: the windows take input throughout, and closing the
// dialog while the device restarts asks first.
//
// Threads: user-interface thread only.
class CSetupIpDlg final : public IDialogHandler, private JobListener {
public:
    // The dialog's job runs on `session`'s transport and dispatcher, which
    // outlive the dialog; `owner` is the device list window, which takes no
    // input while the dialog is open.
    CSetupIpDlg(IToolkit& toolkit, Session& session, IWindow* owner);
    ~CSetupIpDlg() override;
    CSetupIpDlg(const CSetupIpDlg&) = delete;
    CSetupIpDlg& operator=(const CSetupIpDlg&) = delete;

    void SetMacText(const std::string& text);
    // Where the device answered from last and the interface it answered on
    // (0: not known, its requests then go out of every interface).
    void SetDeviceAddress(std::string address, unsigned interfaceIndex = 0);
    // The line at the top of the form that names the device edited, also
    // the dialog's accessible description.
    void SetDeviceLine(std::string line) { m_strDeviceLine = std::move(line); }
    // Runs the dialog modally, owned by the owner's window.
    int DoModal();

    // A value as the device reported it (the form shows it at the next fill).
    void SetSetting(std::string_view name, std::string_view value);
    void FillControls();
    IWindow* GetWindow();

    // After the dialog: the address the device last answered from, and what
    // it reported when it was read again after a change (nothing when it was
    // not).
    const std::string& DeviceAddress() const { return m_strAddress; }
    const std::optional<DeviceSettings>& Reread() const { return m_reread; }
    // Whether the device is restarting (the reboot sent and the re-read not
    // ended).
    bool Restarting() const;
    // The dialog's job (null until the dialog shows).
    const DeviceJob* Job() const { return m_job.get(); }
    // Ends the dialog without asking: the job stops, nothing more is sent.
    void Abandon();

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

    // JobListener
    void JobProgress(DeviceJob& job, JobStep step, int secondsLeft, int queriesSent) override;
    void JobSendFailed(DeviceJob& job, Request request, int error, std::string_view interfaceName) override;
    void JobFinished(DeviceJob& job, const JobReport& report) override;
    // The job's end. One that a reply brings and that shows a message box
    // is handled from the dispatcher's queue: the reply's handler runs while
    // the receive thread waits for it, and a box must not hold that thread.
    void OnJobFinished(const JobReport& report);
    class FinishedCall final : public PostedCall {
    public:
        explicit FinishedCall(CSetupIpDlg& dialog) : m_dialog(dialog) {}
        void Run() override;

    private:
        CSetupIpDlg& m_dialog;
    };

    IToolkit& Toolkit();
    void DisableControls();
    void ClearSettings();
    void StoreSettings(const DeviceSettings& settings);
    // What the dialog's job runs now.
    enum class Phase { Reading, Changing, Rereading };
    bool StartJob(Phase phase, const JobPlan& plan);
    void OnFieldChanged(IIpAddressCtrl* control, int index);
    void OnDhcpClicked();
    void OnApplyChanges();
    void OnPollTimer();
    // The change's result, as the poll tick after it finds it.
    // The device's refusal (authentication, or another result with its code),
    // told in a message; nothing for other outcomes.
    void ShowRefusal(const JobReport& report);
    void OnChangeEnded(const JobReport& report);
    void FinishChange();
    // The re-read, or the reboot's wait and re-read, has ended.
    void OnRereadEnded(const JobReport& report);
    // The form back after a request that failed or was refused.
    void GiveFormBack();
    void EndWithCancel();
    void ShowMessage(std::string_view text);
    // The progress line: `format` with its "%d" filled with the seconds left.
    void ShowProgress(const char* format, int secondsLeft);
    // Whether m_strMac names one device; nothing is sent to it otherwise.
    bool AddressesOneDevice() const;

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
    std::string m_strAddress;
    unsigned m_nInterface = 0;
    std::string m_strDeviceLine;
    int m_nSettingCount = 0;
    // Both exist from initialisation until the dialog closes.
    std::unique_ptr<std::string[]> m_settingNames;
    std::unique_ptr<std::uint8_t[]> m_changed;
    SettingsMap m_settings;

    IToolkit& m_toolkit;
    Transport& m_transport;
    UiDispatcher& m_dispatcher;
    IWindow* m_pOwner;
    // Set while the window exists.
    IWindow* m_pWindow = nullptr;

    // The dialog's one job for its device; made when the dialog shows.
    std::unique_ptr<DeviceJob> m_job;
    Phase m_phase = Phase::Reading;
    // The change's report, kept for the poll tick that takes it.
    std::optional<JobReport> m_changeReport;
    // The reboot went out and its wait or re-read has not ended.
    bool m_bRebooting = false;
    // The stop question is up; a job that ends meanwhile is handled after it.
    bool m_bAskingStop = false;
    std::optional<JobReport> m_deferredReport;
    // The report of the job that ended, until FinishedCall takes it.
    std::optional<JobReport> m_finishedReport;
    FinishedCall m_finishedCall{*this};
    std::optional<DeviceSettings> m_reread;
};

} // namespace pemblor
