#pragma once
#include "engine/CredentialRoute.h"
#include "engine/DeviceJob.h"
#include "engine/ReversePathWatch.h"
#include "engine/UiDispatcher.h"
#include "gui/MemberCall.h"

#include <QDialog>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pemblor {

namespace Ui {
class CSetupIpDlg;
}

class QtIpAddressCtrl;
class Session;

// The Setup IP dialog: reads one device's addressing settings, tracks what
// the user changed, sends the change, offers the reboot and reads the device
// again, all through one job of its own for the device. Nothing waits on the
// user-interface thread: the windows take input throughout, and closing the
// dialog while the device restarts asks first.
//
// The read starts when the dialog is first shown. The dialog ends with
// Rejected however it closes, and never deletes itself: its owner reads
// DeviceAddress() and Reread() on finished() and then deletes it.
//
// Threads: user-interface thread only.
class CSetupIpDlg final : public QDialog, private JobListener {
    Q_OBJECT
public:
    // `session` outlives the dialog; its transport carries the dialog's job
    // and its dispatcher drives the job's and the dialog's deadlines.
    explicit CSetupIpDlg(Session& session, QWidget* parent = nullptr);
    ~CSetupIpDlg() override;

    void SetMacText(const std::string& text);
    // Where the device answered from last and the interface it answered on
    // (0: not known, its requests then go out of every interface).
    void SetDeviceAddress(std::string address, unsigned interfaceIndex = 0);
    // The line at the top of the form that names the device edited, also
    // the dialog's accessible description.
    void SetDeviceLine(std::string line);

    // A value as the device reported it; the form shows it at the next fill.
    void SetSetting(std::string_view name, std::string_view value);
    void FillControls();

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
    // Also how the dialog ends itself, once there is nothing left to edit.
    void Abandon();

public slots:
    // Escape, Close and the close box: asks first while the device restarts.
    void reject() override;
    // Every end goes through here: the job stops and nothing more reaches
    // the dialog.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void OnApplyChanges();
    void OnDhcpClicked();

private:
    // Indices of the settings, as the changed flags are kept.
    enum SettingIndex { UserNameIndex, PasswordIndex, IpAddrIndex, SubnetMaskIndex, GatewayIndex, DhcpIndex };
    static constexpr int SettingCount = 6;

    // JobListener
    void JobProgress(DeviceJob& job, JobStep step, int secondsLeft, int queriesSent) override;
    void JobSendFailed(DeviceJob& job, Request request, int error, std::string_view interfaceName) override;
    void JobFinished(DeviceJob& job, const JobReport& report) override;
    // The job's end. One that a reply brings and that shows a message box
    // is handled from the dispatcher's queue: the reply's handler runs while
    // the receive thread waits for it, and a box must not hold that thread.
    void OnJobFinished(const JobReport& report);
    void OnFinishedCall();

    const std::string& Setting(int index) const { return m_settings[static_cast<std::size_t>(index)]; }
    void DisableControls();
    // The address, credential and never-broadcast controls.
    void EnableFields(bool enable);
    void StoreSettings(const DeviceSettings& settings);
    // What the dialog's job runs now.
    enum class Phase { Reading, Changing, Rereading };
    bool StartJob(Phase phase, const JobPlan& plan);
    // A MAC text that names no single device: told, and the dialog ends.
    void RefuseDevice();
    void OnFieldChanged(const QtIpAddressCtrl& control, int index);
    void OnPollTimer();
    // How the job ended, in the words every path uses, then `hint`, then
    // the kernel's reverse-path drops since the dialog opened when they
    // rose (once: the drops told are not told again).
    QString Explained(const JobReport& report, const QString& hint = {});
    // The device's refusal (authentication, or another result with its code),
    // told in a message; nothing for other outcomes.
    void ShowRefusal(const JobReport& report);
    void OnChangeEnded(const JobReport& report);
    void FinishChange();
    // The re-read, or the reboot's wait and re-read, has ended.
    void OnRereadEnded(const JobReport& report);
    // How the password would travel, as known before the job asks the
    // device; nothing when the device's address is not known.
    std::optional<CredentialRoute> RouteBeforeApply() const;
    // The warning line above Apply Changes: shown while the route known
    // before any query is a broadcast.
    void UpdateBroadcastWarning();
    // A plan that carries the credentials: the fields' user name and
    // password, the box's policy and the listed devices' addresses.
    void SetCredentials(JobPlan& plan) const;
    // The job held the password of `plan` back (NeedsBroadcast): with the
    // box ticked the user is told why; otherwise asked whether it may go by
    // broadcast, and on Yes `plan` runs again in `phase` with it allowed.
    // Ended: the dialog ended meanwhile (it may be gone).
    enum class Retry { Started, Refused, Ended };
    Retry RetryByBroadcast(const JobReport& report, JobPlan plan, Phase phase);
    void ShowMessage(const QString& text);
    // The progress line: `format` with its "%d" filled with the seconds left;
    // an empty format clears it.
    void ShowProgress(const QString& format, int secondsLeft);
    // Whether m_strMac names one device; nothing is sent to it otherwise.
    bool AddressesOneDevice() const;

    std::unique_ptr<Ui::CSetupIpDlg> m_ui;
    Session& m_session;
    UiDispatcher& m_dispatcher;
    Transport& m_transport;
    ReversePathWatch m_reversePath;

    int m_nInitialDhcp = -1;
    std::string m_strMac;
    std::string m_strAddress;
    unsigned m_nInterface = 0;
    // The device's settings per setting index, as it spelled them or as the
    // form stored them; empty until then.
    std::array<std::string, SettingCount> m_settings;
    // The changed flag per setting index.
    std::array<bool, SettingCount> m_changed{};

    // The dialog's one job for its device; made when the dialog shows.
    std::unique_ptr<DeviceJob> m_job;
    Phase m_phase = Phase::Reading;
    // The poll of the change's result, once a second after Apply.
    MemberDeadline<CSetupIpDlg, &CSetupIpDlg::OnPollTimer> m_pollTimer{*this};
    // The change as Apply planned it, sent again when the user lets its
    // password go by broadcast.
    std::optional<JobPlan> m_changePlan;
    // The reboot as the reboot question planned it, for the same reason.
    std::optional<JobPlan> m_rebootPlan;
    // The change's report, kept for the poll tick that takes it.
    std::optional<JobReport> m_changeReport;
    // The reboot went out and its wait or re-read has not ended.
    bool m_bRebooting = false;
    // The stop question is up; a job that ends meanwhile is handled after it.
    bool m_bAskingStop = false;
    std::optional<JobReport> m_deferredReport;
    // The report of the job that ended, until m_finishedCall takes it.
    std::optional<JobReport> m_finishedReport;
    MemberCall<CSetupIpDlg, &CSetupIpDlg::OnFinishedCall> m_finishedCall{*this};
    MemberCall<CSetupIpDlg, &CSetupIpDlg::RefuseDevice> m_refuseCall{*this};
    std::optional<DeviceSettings> m_reread;
    bool m_bShown = false;
    bool m_bEnded = false;
};

} // namespace pemblor
