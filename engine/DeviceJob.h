#pragma once
#include "engine/CredentialRoute.h"
#include "engine/DeviceSettings.h"
#include "engine/JobOutcome.h"
#include "engine/Request.h"
#include "engine/RereadSchedule.h"
#include "engine/Transport.h"
#include "engine/UiDispatcher.h"
#include "engine/UnicastProbe.h"
#include "protocol/PacketHeader.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pemblor {

struct SettingsChange;

// A settings change the job owns (SettingsChange only views its texts).
struct SettingsRequest {
    std::optional<std::string> ipAddress;
    std::optional<std::string> subnetMask;
    std::optional<std::string> gateway;
    std::optional<int> dhcp; // 0 or 1

    static SettingsRequest From(const SettingsChange& change);
    SettingsChange View() const;
    // Whether sending it would change anything in `current`: an address
    // differs (read as dotted decimal where both are), or the DHCP flag.
    bool WouldChange(const DeviceSettings& current) const;
    // `current` with this change applied (what the device should hold).
    DeviceSettings AppliedTo(DeviceSettings current) const;
};

// How a job watches its device come back after the reboot: the re-read (9
// detail queries over 53 s, after the restart wait), or the discovery
// rounds of its owner, which hands the job every discovery reply of the
// device (DiscoveryReply) and tells it of every round (RoundSent).
enum class ComeBackWatch { Reread, DiscoveryRounds };

struct JobCredentials {
    std::string user;
    std::string password;
};

// How a job sends its device's credentials, and what it does when they
// could go only by broadcast (CredentialRoute says why).
enum class CredentialBroadcast {
    // By broadcast, as every request goes, without the question by unicast:
    // what a job does for an owner that has not chosen one of the others.
    AlwaysBroadcast,
    // By unicast where the network allows; else broadcast them, after
    // telling the listener (JobBroadcastingCredentials).
    Allow,
    // As Allow when that was known before the plan started (outside the
    // network, a shared address: the owner has shown it); when the device
    // does not answer by unicast, end NeedsBroadcast before sending, so that
    // the owner can ask and start the plan again with Allow.
    AskIfUnanswered,
    // By unicast where the network allows; never by broadcast: end
    // NeedsBroadcast before sending.
    Refuse,
};

// The steps of a job, in the order they run.
enum class JobStep {
    Idle,
    Read,    // the detail query, until its reply or its time-out
    Change,  // the settings change, until its result or 10 s
    Reboot,  // the reboot request, and the wait for a refusal
    Restart, // the 30 s while the device restarts (a refusal still ends it)
    Verify,  // the re-read: 9 queries over 53 s
    Done,
};

// How a job ended.
struct JobReport {
    JobOutcome outcome = JobOutcome::Stopped;
    JobStep step = JobStep::Idle; // the step that ended it
    int result = 0;               // the device's result, when one ended it
    // Where the device answered from last; empty when it never answered.
    std::string address;
    // Read at the start (when the job read), and read again after the
    // restart (when it answered).
    std::optional<DeviceSettings> before;
    std::optional<DeviceSettings> after;
    // Verify: the address and netmask the device was expected back with
    // (empty: any), the address it answered from before the restart, and
    // whether it answered at all after it.
    std::string expectedAddress;
    std::string expectedNetmask;
    std::string oldAddress;
    bool heardAfterRestart = false;
    // The netmask its last answer after the restart reported; nothing when
    // it reported none (or did not answer).
    std::optional<std::string> heardNetmask;
    // How its credentials went (NeedsBroadcast: how they would have had to
    // go); nothing when no command with credentials was due.
    std::optional<CredentialRoute> route;
    // UnknownResult: the other program on this computer that commanded the
    // device at the same time, whose result this one could not be told from.
    std::string contestedBy;
};

// What one job runs: read, change, reboot, verify, each when asked, in that
// order. With a read and a change, the change goes only when it would change
// what was read; otherwise the job ends Unchanged and sends nothing more.
//
// The change and the reboot carry the credentials. Unless the plan says
// AlwaysBroadcast, they go by unicast to the device's address, out of the
// interface it answered on, when that address lies in the interface's
// network, no other listed device answers from it, and the device answers a
// detail query sent there by unicast, just before the plan's first command,
// within unicastQueryTimeoutMs; else by broadcast as `broadcast` allows. A
// job that does not know where its device answers from sends the detail
// query by broadcast first to learn it. A reboot after a change that moved
// the device's address asks again first (an agent may take the change at
// once), at the old address and then at the new one.
// A job may run one plan after another (a dialog reads when it opens,
// changes on Apply, reboots when asked); a plan without a read starts from
// what the earlier plans of the same job learned.
struct JobPlan {
    bool read = true;
    std::optional<SettingsRequest> change;
    // False: the change goes even when it would change nothing that is known
    // (an owner that has made its own check of what the user changed).
    bool skipUnchanged = true;
    bool reboot = false;
    // After the reboot: the restart wait and the re-read. Without it the job
    // waits refusalWaitMs for a refusal and ends RebootSent. Alone (no
    // change, no reboot): the re-read at once, on the same schedule, taking
    // an answer from any address.
    bool verify = false;
    ComeBackWatch watch = ComeBackWatch::Reread;
    // DiscoveryRounds: how long after the reboot the device has to be heard
    // where it should be.
    unsigned discoveryWindowMs = 90000;
    JobCredentials credentials;
    CredentialBroadcast broadcast = CredentialBroadcast::AlwaysBroadcast;
    // Whether another listed device answers from an address (null: none is
    // known to).
    std::function<bool(std::string_view address)> addressShared;
    unsigned unicastQueryTimeoutMs = 1000;
    unsigned detailTimeoutMs = 5000;
    unsigned resultTimeoutMs = 10000;
    unsigned refusalWaitMs = 2000;
    unsigned rebootWaitMs = RereadSchedule::RebootWaitMs;
};

// Whether an answer under the device's own MAC after its reboot, from
// `from`, reporting `netmask` (nothing: it reports none), finds it where it
// should be: at `expectedAddress` (empty: anywhere, its DHCP client
// chooses) with `expectedNetmask` (empty: any). Every path verifies so.
bool BackAsExpected(std::string_view expectedAddress, std::string_view expectedNetmask, std::string_view from,
                    const std::optional<std::string>& netmask);

class DeviceJob;

// What a job tells its owner, on the user-interface thread. No call may
// destroy the job; JobFinished is the job's last call and nothing of the job
// runs after it returns, so the owner may destroy it from a posted call or
// once the handler has returned.
class JobListener {
public:
    virtual ~JobListener() = default;
    // A step began, or a second passed in Restart or Verify, or a verify
    // query went out. `secondsLeft`: of the restart wait or of the re-read's
    // budget (0 in the other steps); `queriesSent`: verify queries so far.
    virtual void JobProgress(DeviceJob& /*job*/, JobStep /*step*/, int /*secondsLeft*/, int /*queriesSent*/) {}
    // A request could not go out of `interfaceName` (empty: the routes
    // chose); the job goes on when it went out of another.
    virtual void JobSendFailed(DeviceJob& /*job*/, Request /*request*/, int /*error*/,
                               std::string_view /*interfaceName*/)
    {
    }
    // The plan's credentials are about to go by broadcast, which it allows;
    // told once per plan, before the first of them leaves.
    virtual void JobBroadcastingCredentials(DeviceJob& /*job*/, const CredentialRoute& /*route*/) {}
    virtual void JobFinished(DeviceJob& job, const JobReport& report) = 0;
};

// One device's job: a small state machine on the user-interface thread,
// driven by its device's replies (routed to it by the transport) and by its
// own deadlines (through the dispatcher). Jobs for devices at different
// addresses run side by side on one transport; a zero-MAC result reaches a
// job only while no other job awaits a result from the same address.
//
// Threads: user-interface thread only.
class DeviceJob final : private ReplyHandler, private Deadline {
public:
    // `macText`: the device's MAC as FormatMacText writes it. `address`:
    // where it is believed to answer from (empty: not known until its detail
    // reply); `interfaceIndex`: the interface it answered on (0: every one).
    DeviceJob(Transport& transport, UiDispatcher& ui, JobListener& listener, std::string macText,
              std::string address = {}, unsigned interfaceIndex = 0);
    // Stops a running job.
    ~DeviceJob() { Stop(); }
    DeviceJob(const DeviceJob&) = delete;
    DeviceJob& operator=(const DeviceJob&) = delete;

    // Starts the plan; false (and nothing happens) while a plan runs.
    bool Start(const JobPlan& plan);
    // Ends a running job without a word to the listener: nothing more is
    // sent and no reply or deadline reaches it. Its report says Stopped.
    void Stop();

    // Watching by discovery rounds: a discovery reply under the device's
    // MAC from `sender`, reporting `netmask` (nothing: none), and a round
    // sent. Ignored in any other step.
    void DiscoveryReply(std::string_view sender, const std::optional<std::string>& netmask);
    void RoundSent();

    bool Running() const { return m_state != State::Idle && m_state != State::Done; }
    JobStep Step() const;
    const std::string& MacText() const { return m_macText; }
    const std::string& Address() const { return m_address; }
    // The report of the plan that ended last.
    const JobReport& Report() const { return m_report; }

private:
    // The job's progress, one wait at a time; each state names what ends
    // its wait and what comes next. Expired() ends the wait, DetailReply()
    // and ResultReply() take the replies. A result other than 0 ends every
    // state from Change through Watch. A send the kernel had no room for is
    // taken again in the same state (m_resend).
    enum class State {
        Idle,
        // The detail reply: the plan's next step; detailTimeoutMs: Timeout.
        Read,
        // Before the change, while its route is not decided and the device's
        // address is not known: the detail reply by broadcast tells where it
        // answers, and the probe begins; detailTimeoutMs: by broadcast, as
        // the plan allows.
        ChangeLocate,
        // The detail reply by unicast from m_probe.Asked(): the change goes
        // there; unicastQueryTimeoutMs: the next address, or by broadcast.
        ChangeProbe,
        // The change's result 0: Stored, or the reboot; resultTimeoutMs:
        // Timeout.
        Change,
        // As ChangeLocate and ChangeProbe, before the reboot.
        RebootLocate,
        RebootProbe,
        // A refusal of the reboot; refusalWaitMs: RebootSent.
        Reboot,
        // A second of the restart wait passes: the next, or Reread.
        Restart,
        // The re-read: a detail reply where it should be: Verified; a second
        // passes: the schedule's next query or pause, or NotVerified.
        Reread,
        // Watching by discovery rounds: heard where it should be: Verified;
        // discoveryWindowMs: NotVerified.
        Watch,
        Done,
    };

    // ReplyHandler
    void DetailReply(const ReplyDatagram& reply, unsigned arrival) override;
    void ResultReply(const ReplyDatagram& reply, unsigned arrival) override;
    void ContestedResult(const ReplyDatagram& reply, std::string_view otherProgram) override;
    // Deadline: the wait of m_state.
    void Expired() override;

    // Enters a state that begins a step, and tells the listener.
    void Begin(State state);
    // The detail query by broadcast (Read and the Locate states), awaited
    // for detailTimeoutMs.
    void QueryDetail();
    void AfterRead();
    // The commands, each in its state (Change, Reboot), which they leave
    // while the route is probed.
    void SendChange();
    void BeginReboot();
    void SendReboot();
    // Before a command with credentials: true when it may leave now
    // (m_route says how); false while the job first probes the route, or
    // when the job has ended.
    bool CredentialsMayGo();
    // False while the probe is under way.
    bool DecideRoute();
    // The detail query by unicast to m_probe.Asked(), awaited for
    // unicastQueryTimeoutMs.
    void AskCandidate();
    void CandidateUnanswered();
    // The probe is over, or the device located: the command that waited
    // for it goes on.
    void ResumeCommand();
    // The member that takes a step's send again.
    using Again = void (DeviceJob::*)();
    // A command with the credentials, once they may go, by m_route, and the
    // wait for its result; false when it did not go now.
    bool SendCommand(Request request, const Datagram& datagram, Again again);
    void NoteAcceptedChange();
    std::optional<NetworkInterface> AnsweredOn() const;
    // Heard from `sender` on `arrival` (0: not known).
    void HeardFrom(std::string_view sender, unsigned arrival);
    void BeginVerify();
    void VerifyTick();
    void SendQuery();
    // Out of at least one interface; to be tried again (only for want of
    // room, while `again` names what, at most kResendTries times a plan:
    // the resend is scheduled and nothing told yet); or failed.
    enum class Sent { Out, Later, Failed };
    Sent Send(Request request, const Datagram& datagram, Again again = nullptr)
    {
        return Told(request, m_transport.Send(request, datagram, m_interface), again);
    }
    // Tells the listener of each interface a send failed on, unless it is
    // to be tried again.
    Sent Told(Request request, const SendReport& report, Again again);
    // The wait of a state; Disarm also forgets a resend.
    void Arm(unsigned delayMs) { m_ui.Schedule(*this, delayMs); }
    void Disarm();
    void NotVerified();
    void Await(Awaited what) { m_transport.Await(*this, m_mac, m_address, what); }
    void Progress();
    void Finish(JobOutcome outcome, int result = 0);

    // The send the kernel had no room for: `again` takes it again once
    // kResendMs have passed, in the same state; never pending while the
    // job's own deadline is.
    struct Resend final : Deadline {
        explicit Resend(DeviceJob& owner) : job(owner) {}
        void Expired() override { (job.*again)(); }
        DeviceJob& job;
        Again again = nullptr;
        int triesLeft = 0;
    };

    Transport& m_transport;
    UiDispatcher& m_ui;
    JobListener& m_listener;
    const std::string m_macText;
    const MacBytes m_mac;
    std::string m_address;
    unsigned m_interface;

    JobPlan m_plan;
    State m_state = State::Idle;
    JobReport m_report;
    // Restart: milliseconds still to wait; Verify: seconds of the budget used.
    unsigned m_waitLeftMs = 0;
    int m_verifySeconds = 0;
    int m_queriesSent = 0;
    RereadSchedule m_schedule;
    // Watching by discovery rounds: the address it would hold were its
    // DHCP client off, whether it answered in the current round, and
    // whether a whole round passed without an answer (it went down).
    std::string m_heldAddress;
    int m_rounds = 0;
    bool m_heardThisRound = false;
    bool m_wentSilent = false;
    // The device's settings as last read, or as a change accepted since
    // left them; a later plan that does not read starts from them.
    std::optional<DeviceSettings> m_known;
    // The credentials' route of the plan, once decided, and the probe that
    // decides it.
    std::optional<CredentialRoute> m_route;
    UnicastProbe m_probe;
    bool m_broadcastTold = false;
    // The address an accepted change gave the device, which it answers
    // from at once or after its next reboot; empty when none is pending.
    std::string m_movedTo;
    Resend m_resend{*this};
};

} // namespace pemblor
