#include "engine/DeviceJob.h"

#include "engine/DetailEntries.h"
#include "engine/NetworkInterface.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"

#include <cstdlib>
#include <iterator>
#include <utility>

namespace pemblor {

namespace {

constexpr unsigned kSecondMs = 1000;
// A send the kernel had no room for is tried again this often, for as long
// as it takes the kernel to let go of neighbour entries nobody uses (5 s).
constexpr unsigned kResendMs = 250;
constexpr int kResendTries = 24;

// A blank gateway is sent as none.
std::string_view GatewayText(std::string_view text)
{
    return text.empty() ? std::string_view("0.0.0.0") : text;
}

} // namespace

bool BackAsExpected(std::string_view expectedAddress, std::string_view expectedNetmask, std::string_view from,
                    const std::optional<std::string>& netmask)
{
    if (!expectedAddress.empty() && !SameAddress(from, expectedAddress))
        return false;
    return !netmask || expectedNetmask.empty() || SameAddress(*netmask, expectedNetmask);
}

// The dialog's reading of a DHCP text: its leading decimal integer, as atoi.
bool DeviceSettings::DhcpOn() const
{
    return dhcp && std::strtol(dhcp->c_str(), nullptr, 10) == 1;
}

SettingsRequest SettingsRequest::From(const SettingsChange& change)
{
    using Owned = std::optional<std::string>;
    return {Owned(change.ipAddress), Owned(change.subnetMask), Owned(change.gateway), change.dhcp};
}

SettingsChange SettingsRequest::View() const
{
    return {ipAddress, subnetMask, gateway, dhcp};
}

bool SettingsRequest::WouldChange(const DeviceSettings& current) const
{
    const auto differs = [](const std::optional<std::string>& wanted, const std::optional<std::string>& held) {
        return wanted && (!held || !SameAddress(*wanted, *held));
    };
    if (differs(ipAddress, current.ipAddr) || differs(subnetMask, current.netmask))
        return true;
    if (gateway && (!current.gateway || !SameAddress(GatewayText(*gateway), GatewayText(*current.gateway))))
        return true;
    return dhcp && (*dhcp == 1) != current.DhcpOn();
}

DeviceSettings SettingsRequest::AppliedTo(DeviceSettings current) const
{
    if (ipAddress)
        current.ipAddr = *ipAddress;
    if (subnetMask)
        current.netmask = *subnetMask;
    if (gateway)
        current.gateway = std::string(GatewayText(*gateway));
    if (dhcp)
        current.dhcp = std::to_string(*dhcp);
    return current;
}

DeviceJob::DeviceJob(Transport& transport, UiDispatcher& ui, JobListener& listener, std::string macText,
                     std::string address, unsigned interfaceIndex)
    : m_transport(transport)
    , m_ui(ui)
    , m_listener(listener)
    , m_macText(std::move(macText))
    , m_mac(ParseMacText(m_macText))
    , m_address(std::move(address))
    , m_interface(interfaceIndex)
{
}

JobStep DeviceJob::Step() const
{
    // By State, in its order.
    static constexpr JobStep kSteps[] = {JobStep::Idle,   JobStep::Read,   JobStep::Change,  JobStep::Change,
                                         JobStep::Change, JobStep::Reboot, JobStep::Reboot,  JobStep::Reboot,
                                         JobStep::Restart, JobStep::Verify, JobStep::Verify, JobStep::Done};
    static_assert(std::size(kSteps) == static_cast<std::size_t>(State::Done) + 1);
    return kSteps[static_cast<std::size_t>(m_state)];
}

bool DeviceJob::Start(const JobPlan& plan)
{
    if (Running())
        return false;
    m_plan = plan;
    m_report = JobReport{};
    m_report.address = m_address;
    // A plan that does not read starts from what the earlier ones learned.
    m_report.before = m_known;
    m_schedule = RereadSchedule{};
    m_queriesSent = 0;
    // Each plan asks its device before its first command with credentials.
    m_route.reset();
    m_broadcastTold = false;
    m_resend.triesLeft = kResendTries;
    if (m_plan.read) {
        Begin(State::Read);
        QueryDetail();
    } else {
        AfterRead();
    }
    return true;
}

void DeviceJob::Stop()
{
    if (!Running())
        return;
    Disarm();
    m_transport.StopAwaiting(*this);
    m_report.outcome = JobOutcome::Stopped;
    m_report.step = Step();
    m_report.address = m_address;
    m_state = State::Done;
}

void DeviceJob::Begin(State state)
{
    m_state = state;
    Progress();
}

void DeviceJob::Progress()
{
    int secondsLeft = 0;
    if (m_state == State::Restart)
        secondsLeft = static_cast<int>((m_waitLeftMs + kSecondMs - 1) / kSecondMs);
    else if (Step() == JobStep::Verify)
        secondsLeft = RereadSchedule::BudgetSeconds - m_verifySeconds;
    m_listener.JobProgress(*this, Step(), secondsLeft, m_queriesSent);
}

DeviceJob::Sent DeviceJob::Told(Request request, const SendReport& report, Again again)
{
    if (!report.sent && again && report.NoRoomNow() && m_resend.triesLeft > 0) {
        --m_resend.triesLeft;
        m_resend.again = again;
        m_ui.Schedule(m_resend, kResendMs);
        return Sent::Later;
    }
    for (const SendReport::Failure& failure : report.failures)
        m_listener.JobSendFailed(*this, request, failure.error, failure.interfaceName);
    return report.sent ? Sent::Out : Sent::Failed;
}

void DeviceJob::Disarm()
{
    m_ui.Cancel(m_resend);
    m_ui.Cancel(*this);
}

void DeviceJob::QueryDetail()
{
    Await(Awaited::Detail);
    const Sent sent = Send(Request::DetailQuery, BuildDetailQuery(m_macText), &DeviceJob::QueryDetail);
    if (sent == Sent::Failed)
        Finish(JobOutcome::SendFailed);
    else if (sent == Sent::Out)
        Arm(m_plan.detailTimeoutMs);
}

void DeviceJob::AfterRead()
{
    if (m_plan.change) {
        if (m_plan.skipUnchanged && m_report.before && !m_plan.change->WouldChange(*m_report.before)) {
            Finish(JobOutcome::Unchanged);
            return;
        }
        Begin(State::Change);
        SendChange();
        return;
    }
    if (m_plan.reboot) {
        BeginReboot();
        return;
    }
    if (m_plan.verify) {
        m_report.oldAddress = m_address;
        m_report.expectedAddress.clear();
        m_report.expectedNetmask.clear();
        BeginVerify();
        return;
    }
    Finish(JobOutcome::Unchanged);
}

void DeviceJob::SendChange()
{
    m_state = State::Change;
    const JobCredentials& credentials = m_plan.credentials;
    if (SendCommand(Request::SettingsChange,
                    BuildSettingsChange(m_macText, credentials.user, credentials.password, m_plan.change->View()),
                    &DeviceJob::SendChange))
        Arm(m_plan.resultTimeoutMs);
}

void DeviceJob::BeginReboot()
{
    m_report.oldAddress = m_address;
    // Where the device should come back: the address it will hold, unless
    // its DHCP client will choose one.
    const DeviceSettings expected = m_plan.change ? m_plan.change->AppliedTo(m_report.before.value_or(DeviceSettings{}))
                                                  : m_report.before.value_or(DeviceSettings{});
    m_report.expectedAddress = expected.DhcpOn() || !expected.ipAddr ? std::string() : *expected.ipAddr;
    m_report.expectedNetmask = expected.DhcpOn() || !expected.netmask ? std::string() : *expected.netmask;
    m_heldAddress = expected.ipAddr.value_or("");

    Begin(State::Reboot);
    SendReboot();
}

void DeviceJob::SendReboot()
{
    m_state = State::Reboot;
    // A refusal answers the reboot; an accepted reboot may go unanswered.
    const JobCredentials& credentials = m_plan.credentials;
    if (!SendCommand(Request::Reboot, BuildRebootRequest(m_macText, credentials.user, credentials.password),
                     &DeviceJob::SendReboot))
        return;
    // After the restart it answers from what it stored.
    m_movedTo.clear();
    if (!m_plan.verify) {
        Arm(m_plan.refusalWaitMs);
        return;
    }
    if (m_plan.watch == ComeBackWatch::DiscoveryRounds) {
        m_rounds = 0;
        m_verifySeconds = 0;
        m_heardThisRound = false;
        m_wentSilent = false;
        Begin(State::Watch);
        // A refusal of the reboot still counts, by the device's MAC only: a
        // zero-MAC result from its address belongs to the next command there.
        m_transport.Await(*this, m_mac, {}, Awaited::Result);
        Arm(m_plan.discoveryWindowMs);
        return;
    }
    m_waitLeftMs = m_plan.rebootWaitMs;
    Begin(State::Restart);
    // Counted down a second at a time, so that the owner can show it.
    Arm(std::min(kSecondMs, m_waitLeftMs));
}

std::optional<NetworkInterface> DeviceJob::AnsweredOn() const
{
    // Not told where it answered: the interface whose network holds its
    // address is where the routes send to it.
    const InterfaceSet* interfaces = m_transport.Interfaces();
    return interfaces ? interfaces->Reaching(m_interface, m_address) : std::nullopt;
}

bool DeviceJob::CredentialsMayGo()
{
    if (m_plan.broadcast == CredentialBroadcast::AlwaysBroadcast)
        return true;
    if (!m_route && !DecideRoute())
        return false;
    if (m_route->Unicast())
        return true;
    const bool allowed = m_plan.broadcast == CredentialBroadcast::Allow ||
                         (m_plan.broadcast == CredentialBroadcast::AskIfUnanswered &&
                          m_route->reason != BroadcastReason::NoUnicastAnswer);
    if (!allowed) {
        Finish(JobOutcome::NeedsBroadcast);
        return false;
    }
    if (!m_broadcastTold) {
        m_broadcastTold = true;
        m_listener.JobBroadcastingCredentials(*this, *m_route);
    }
    return true;
}

bool DeviceJob::DecideRoute()
{
    const bool change = m_state == State::Change;
    if (m_address.empty()) {
        m_state = change ? State::ChangeLocate : State::RebootLocate;
        QueryDetail();
        return false;
    }
    const std::optional<NetworkInterface> answeredOn = AnsweredOn();
    m_route = m_probe.Begin(m_address, m_movedTo, answeredOn ? &*answeredOn : nullptr, m_plan.addressShared);
    if (m_route)
        return true;
    m_state = change ? State::ChangeProbe : State::RebootProbe;
    AskCandidate();
    return false;
}

void DeviceJob::AskCandidate()
{
    const CredentialRoute& candidate = m_probe.Asked();
    Await(Awaited::Detail);
    const Sent sent =
        Told(Request::DetailQuery,
             m_transport.SendUnicast(BuildDetailQuery(m_macText), candidate.address, candidate.interfaceIndex),
             &DeviceJob::AskCandidate);
    if (sent == Sent::Failed)
        CandidateUnanswered();
    else if (sent == Sent::Out)
        Arm(m_plan.unicastQueryTimeoutMs);
}

void DeviceJob::CandidateUnanswered()
{
    m_route = m_probe.Unanswered();
    if (m_route)
        ResumeCommand();
    else
        AskCandidate();
}

void DeviceJob::ResumeCommand()
{
    if (Step() == JobStep::Change)
        SendChange();
    else
        SendReboot();
}

bool DeviceJob::SendCommand(Request request, const Datagram& datagram, Again again)
{
    if (!CredentialsMayGo())
        return false;
    Await(Awaited::Result);
    m_report.route = m_route;
    const Sent sent =
        m_route && m_route->Unicast()
            ? Told(request, m_transport.SendUnicast(datagram, m_route->address, m_route->interfaceIndex), again)
            : Send(request, datagram, again);
    if (sent == Sent::Failed)
        Finish(JobOutcome::SendFailed);
    return sent == Sent::Out;
}

void DeviceJob::NoteAcceptedChange()
{
    const SettingsRequest& change = *m_plan.change;
    const bool dhcpOn = change.dhcp && *change.dhcp == 1;
    const bool moved = change.ipAddress && !SameAddress(*change.ipAddress, m_address);
    if (!dhcpOn && !moved)
        return;
    // Its next command with credentials asks again where it answers.
    m_movedTo = moved && !dhcpOn ? *change.ipAddress : std::string();
    m_route.reset();
}

void DeviceJob::HeardFrom(std::string_view sender, unsigned arrival)
{
    m_address.assign(sender);
    if (arrival != 0 && m_transport.InterfaceByIndex(arrival))
        m_interface = arrival;
    m_report.address = m_address;
}

void DeviceJob::BeginVerify()
{
    m_verifySeconds = 0;
    m_state = State::Reread;
    Await(Awaited::Detail);
    SendQuery();
    VerifyTick();
}

void DeviceJob::SendQuery()
{
    // A query that cannot go out now may go out at the next resend: the
    // re-read goes on whatever a send says.
    Send(Request::DetailQuery, BuildDetailQuery(m_macText));
    ++m_queriesSent;
    Progress();
}

// Before every pause of the re-read while no answer has come.
void DeviceJob::VerifyTick()
{
    switch (m_schedule.Next()) {
    case RereadSchedule::Step::GiveUp:
        NotVerified();
        return;
    case RereadSchedule::Step::ResendThenPause:
        SendQuery();
        break;
    case RereadSchedule::Step::Pause:
        break;
    }
    Arm(RereadSchedule::PauseMs);
}

void DeviceJob::NotVerified()
{
    m_report.address = m_report.heardAfterRestart ? m_address : m_report.oldAddress;
    Finish(JobOutcome::NotVerified);
}

void DeviceJob::Expired()
{
    switch (m_state) {
    case State::Read:
    case State::Change:
        Finish(JobOutcome::Timeout);
        return;
    case State::ChangeLocate:
    case State::RebootLocate:
        // Not heard at all: where it answers is not known.
        m_route = UnicastProbe::Unheard(m_transport.Interfaces());
        ResumeCommand();
        return;
    case State::ChangeProbe:
    case State::RebootProbe:
        CandidateUnanswered();
        return;
    case State::Reboot:
        Finish(JobOutcome::RebootSent);
        return;
    case State::Restart:
        m_waitLeftMs -= std::min(kSecondMs, m_waitLeftMs);
        if (m_waitLeftMs == 0) {
            BeginVerify();
            return;
        }
        Progress();
        Arm(std::min(kSecondMs, m_waitLeftMs));
        return;
    case State::Reread:
        ++m_verifySeconds;
        Progress();
        VerifyTick();
        return;
    case State::Watch:
        NotVerified();
        return;
    case State::Idle:
    case State::Done:
        return;
    }
}

void DeviceJob::DetailReply(const ReplyDatagram& reply, unsigned arrival)
{
    EntryTextBuffer work;
    switch (m_state) {
    case State::Read:
        Disarm();
        m_report.before = ReadSettings(reply, work);
        m_known = m_report.before;
        HeardFrom(reply.sender(), arrival);
        AfterRead();
        return;
    case State::ChangeLocate:
    case State::RebootLocate:
        Disarm();
        HeardFrom(reply.sender(), arrival);
        ResumeCommand();
        return;
    case State::ChangeProbe:
    case State::RebootProbe:
        Disarm();
        // Asked by unicast: the interface it answered on stays as it was.
        HeardFrom(reply.sender(), 0);
        m_route = m_probe.Answered(m_plan.addressShared);
        if (SameAddress(m_route->address, m_movedTo))
            m_movedTo.clear();
        ResumeCommand();
        return;
    case State::Reread: {
        const DeviceSettings settings = ReadSettings(reply, work);
        HeardFrom(reply.sender(), arrival);
        m_report.heardAfterRestart = true;
        m_report.heardNetmask = settings.netmask;
        m_report.after = settings;
        if (BackAsExpected(m_report.expectedAddress, m_report.expectedNetmask, m_address, settings.netmask)) {
            Finish(JobOutcome::Verified);
            return;
        }
        // Not where it should be (the change did not take effect, or not
        // yet): the re-read goes on, and ends NotVerified without a better
        // answer.
        Await(Awaited::Detail);
        return;
    }
    default: // no detail reply is awaited
        return;
    }
}

void DeviceJob::DiscoveryReply(std::string_view sender, const std::optional<std::string>& netmask)
{
    // Before the first round after the reboot, an answer left the device
    // before it restarted (the reply that let the reboot go, handed on to
    // the owner after this job): it tells nothing of its coming back.
    if (m_state != State::Watch || m_rounds == 0)
        return;
    m_heardThisRound = true;
    m_report.heardAfterRestart = true;
    m_report.heardNetmask = netmask;
    HeardFrom(sender, 0);
    // With DHCP on, the address is the server's to give: coming back after
    // going down (or at the address it held) is what can be seen.
    if (m_report.expectedAddress.empty() && !m_wentSilent && !SameAddress(sender, m_heldAddress))
        return;
    if (!BackAsExpected(m_report.expectedAddress, m_report.expectedNetmask, sender, netmask))
        return;
    Finish(JobOutcome::Verified);
}

void DeviceJob::RoundSent()
{
    if (m_state != State::Watch)
        return;
    if (m_rounds > 0 && !m_heardThisRound)
        m_wentSilent = true;
    m_heardThisRound = false;
    ++m_rounds;
}

void DeviceJob::ResultReply(const ReplyDatagram& reply, unsigned /*arrival*/)
{
    // A result is awaited while a command is outstanding: from the change
    // or the reboot through the restart, and while watching by discovery
    // rounds.
    if (m_state != State::Change && m_state != State::Reboot && m_state != State::Restart &&
        m_state != State::Watch)
        return;
    const int result = reply.resultCode();
    if (result != 0) {
        Finish(result == 1 ? JobOutcome::AuthenticationError : JobOutcome::UnknownResult, result);
        return;
    }
    // Result 0 after the reboot (an agent that confirms it) changes nothing.
    if (m_state != State::Change)
        return;
    NoteAcceptedChange();
    if (m_plan.reboot) {
        Disarm();
        BeginReboot();
    } else {
        Finish(JobOutcome::Stored);
    }
}

void DeviceJob::ContestedResult(const ReplyDatagram& reply, std::string_view otherProgram)
{
    // After the change only a refusal ends the job, as in ResultReply.
    const bool awaited = m_state == State::Change || m_state == State::Reboot || m_state == State::Restart ||
                         m_state == State::Watch;
    if (!awaited || (m_state != State::Change && reply.resultCode() == 0))
        return;
    m_report.contestedBy.assign(otherProgram);
    Finish(JobOutcome::UnknownResult, reply.resultCode());
}

void DeviceJob::Finish(JobOutcome outcome, int result)
{
    Disarm();
    m_transport.StopAwaiting(*this);
    m_report.outcome = outcome;
    m_report.step = Step();
    m_report.result = result;
    if (outcome == JobOutcome::NeedsBroadcast)
        m_report.route = m_route;
    if (m_report.address.empty())
        m_report.address = m_address;
    // Not read again: what the device should hold now. A refused change,
    // or one that went unanswered, is taken as not made; one accepted before
    // the reboot stays made, whatever became of the reboot.
    const JobStep step = Step();
    const bool rebooting = step == JobStep::Reboot || step == JobStep::Restart || step == JobStep::Verify;
    const bool changed = m_plan.change && (rebooting || outcome == JobOutcome::Stored ||
                                           outcome == JobOutcome::Verified || outcome == JobOutcome::NotVerified ||
                                           outcome == JobOutcome::RebootSent);
    if (!m_report.after && m_report.before)
        m_report.after = changed ? m_plan.change->AppliedTo(*m_report.before) : m_report.before;
    if (m_report.after && outcome != JobOutcome::Timeout)
        m_known = m_report.after;
    m_state = State::Done;
    // The last call: the owner may end the job once it returns.
    m_listener.JobFinished(*this, m_report);
}

} // namespace pemblor
