#include "engine/DeviceJob.h"

#include "engine/DetailEntries.h"
#include "engine/NetworkInterface.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"

#include <cstdlib>
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
    m_query = RouteQuery::None;
    m_broadcastTold = false;
    m_resendsLeft = kResendTries;
    if (m_plan.read) {
        Begin(JobStep::Read);
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
    m_query = RouteQuery::None;
    m_report.outcome = JobOutcome::Stopped;
    m_report.step = m_step;
    m_report.address = m_address;
    m_step = JobStep::Done;
}

void DeviceJob::Begin(JobStep step)
{
    m_step = step;
    Progress();
}

void DeviceJob::Progress()
{
    int secondsLeft = 0;
    if (m_step == JobStep::Restart)
        secondsLeft = static_cast<int>((m_waitLeftMs + kSecondMs - 1) / kSecondMs);
    else if (m_step == JobStep::Verify)
        secondsLeft = RereadSchedule::BudgetSeconds - m_verifySeconds;
    m_listener.JobProgress(*this, m_step, secondsLeft, m_queriesSent);
}

DeviceJob::Sent DeviceJob::Told(Request request, const SendReport& report, Resend again)
{
    if (!report.sent && again && report.NoRoomNow() && m_resendsLeft > 0) {
        --m_resendsLeft;
        m_resend = again;
        m_ui.Schedule(*this, kResendMs);
        return Sent::Later;
    }
    for (const SendReport::Failure& failure : report.failures)
        m_listener.JobSendFailed(*this, request, failure.error, failure.interfaceName);
    return report.sent ? Sent::Out : Sent::Failed;
}

void DeviceJob::Arm(unsigned delayMs)
{
    m_resend = nullptr;
    m_ui.Schedule(*this, delayMs);
}

void DeviceJob::Disarm()
{
    m_resend = nullptr;
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
        Begin(JobStep::Change);
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

    Begin(JobStep::Reboot);
    SendReboot();
}

void DeviceJob::SendReboot()
{
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
        Begin(JobStep::Verify);
        // A refusal of the reboot still counts, by the device's MAC only: a
        // zero-MAC result from its address belongs to the next command there.
        m_transport.Await(*this, m_mac, {}, Awaited::Result);
        Arm(m_plan.discoveryWindowMs);
        return;
    }
    m_waitLeftMs = m_plan.rebootWaitMs;
    Begin(JobStep::Restart);
    // Counted down a second at a time, so that the owner can show it.
    Arm(std::min(kSecondMs, m_waitLeftMs));
}

std::optional<NetworkInterface> DeviceJob::AnsweredOn() const
{
    if (const std::optional<NetworkInterface> known = m_transport.InterfaceByIndex(m_interface))
        return known;
    // Not told where it answered: the interface whose network holds its
    // address is where the routes send to it.
    const InterfaceSet* interfaces = m_transport.Interfaces();
    std::uint32_t host = 0;
    if (!interfaces || !ParseIpv4(m_address.c_str(), host))
        return std::nullopt;
    for (const NetworkInterface& candidate : interfaces->All())
        if (candidate.Contains(host))
            return candidate;
    return std::nullopt;
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
    if (m_address.empty()) {
        m_query = RouteQuery::Locate;
        QueryDetail();
        return false;
    }
    const std::optional<NetworkInterface> answeredOn = AnsweredOn();
    const auto before = [&](const std::string& address) {
        const bool shared = m_plan.addressShared && m_plan.addressShared(address);
        return RouteBeforeQuery(address, answeredOn ? &*answeredOn : nullptr, shared);
    };
    m_candidates.clear();
    m_candidate = 0;
    for (const std::string* address : {&m_address, &m_movedTo}) {
        if (address->empty() || (address == &m_movedTo && SameAddress(m_movedTo, m_address)))
            continue;
        CredentialRoute route = before(*address);
        if (route.Unicast())
            m_candidates.push_back(std::move(route));
    }
    if (m_candidates.empty()) {
        // Known before asking: why the address it answers from will not do.
        m_route = before(m_address);
        return true;
    }
    AskNextCandidate();
    return false;
}

void DeviceJob::AskNextCandidate()
{
    const CredentialRoute& candidate = m_candidates[m_candidate];
    m_query = RouteQuery::Unicast;
    Await(Awaited::Detail);
    const Sent sent =
        Told(Request::DetailQuery,
             m_transport.SendUnicast(BuildDetailQuery(m_macText), candidate.address, candidate.interfaceIndex),
             &DeviceJob::AskNextCandidate);
    if (sent == Sent::Failed)
        CandidateUnanswered();
    else if (sent == Sent::Out)
        Arm(m_plan.unicastQueryTimeoutMs);
}

void DeviceJob::CandidateUnanswered()
{
    if (++m_candidate < m_candidates.size()) {
        AskNextCandidate();
        return;
    }
    m_route = m_candidates.front();
    m_route->reason = BroadcastReason::NoUnicastAnswer;
    ResumeCommand();
}

void DeviceJob::ResumeCommand()
{
    m_query = RouteQuery::None;
    if (m_step == JobStep::Change)
        SendChange();
    else if (m_step == JobStep::Reboot)
        SendReboot();
}

bool DeviceJob::SendCommand(Request request, const Datagram& datagram, Resend again)
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

void DeviceJob::BeginVerify()
{
    m_verifySeconds = 0;
    m_step = JobStep::Verify;
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
    if (const Resend again = std::exchange(m_resend, nullptr)) {
        (this->*again)();
        return;
    }
    if (m_query == RouteQuery::Unicast) {
        CandidateUnanswered();
        return;
    }
    if (m_query == RouteQuery::Locate) {
        // Not heard at all: where it answers is not known, and a broadcast
        // leaves by every interface.
        m_route = CredentialRoute{BroadcastReason::NoUnicastAnswer, {}, {}, 0};
        if (const InterfaceSet* interfaces = m_transport.Interfaces())
            for (const NetworkInterface& usable : interfaces->All())
                m_route->interfaceName += (m_route->interfaceName.empty() ? "" : ", ") + usable.name;
        ResumeCommand();
        return;
    }
    switch (m_step) {
    case JobStep::Read:
    case JobStep::Change:
        Finish(JobOutcome::Timeout);
        return;
    case JobStep::Reboot:
        Finish(JobOutcome::RebootSent);
        return;
    case JobStep::Restart: {
        m_waitLeftMs -= std::min(kSecondMs, m_waitLeftMs);
        if (m_waitLeftMs == 0) {
            BeginVerify();
            return;
        }
        Progress();
        Arm(std::min(kSecondMs, m_waitLeftMs));
        return;
    }
    case JobStep::Verify:
        if (m_plan.watch == ComeBackWatch::DiscoveryRounds) {
            NotVerified();
            return;
        }
        ++m_verifySeconds;
        Progress();
        VerifyTick();
        return;
    case JobStep::Idle:
    case JobStep::Done:
        return;
    }
}

void DeviceJob::DetailReply(const ReplyDatagram& reply, unsigned arrival)
{
    if (m_query != RouteQuery::None) {
        Disarm();
        m_address.assign(reply.sender());
        if (m_query == RouteQuery::Locate && arrival != 0 && m_transport.InterfaceByIndex(arrival))
            m_interface = arrival;
        m_report.address = m_address;
        if (m_query == RouteQuery::Unicast) {
            m_route = m_candidates[m_candidate];
            if (SameAddress(m_route->address, m_movedTo))
                m_movedTo.clear();
            // A device that shares the address may have been heard while
            // this one was asked.
            if (m_plan.addressShared && m_plan.addressShared(m_route->address))
                m_route->reason = BroadcastReason::SharedAddress;
        }
        ResumeCommand();
        return;
    }
    if (m_step != JobStep::Read && m_step != JobStep::Verify)
        return;
    EntryTextBuffer work;
    const DeviceSettings settings = ReadSettings(reply, work);
    m_address.assign(reply.sender());
    if (arrival != 0 && m_transport.InterfaceByIndex(arrival))
        m_interface = arrival;
    m_report.address = m_address;

    if (m_step == JobStep::Read) {
        Disarm();
        m_report.before = settings;
        m_known = settings;
        AfterRead();
        return;
    }
    m_report.heardAfterRestart = true;
    m_report.heardNetmask = settings.netmask;
    m_report.after = settings;
    if (BackAsExpected(m_report.expectedAddress, m_report.expectedNetmask, m_address, settings.netmask)) {
        Finish(JobOutcome::Verified);
        return;
    }
    // Not where it should be (the change did not take effect, or not yet):
    // the re-read goes on, and ends NotVerified without a better answer.
    Await(Awaited::Detail);
}

void DeviceJob::DiscoveryReply(std::string_view sender, const std::optional<std::string>& netmask)
{
    // Before the first round after the reboot, an answer left the device
    // before it restarted (the reply that let the reboot go, handed on to
    // the owner after this job): it tells nothing of its coming back.
    if (m_step != JobStep::Verify || m_plan.watch != ComeBackWatch::DiscoveryRounds || m_rounds == 0)
        return;
    m_heardThisRound = true;
    m_report.heardAfterRestart = true;
    m_report.heardNetmask = netmask;
    m_address.assign(sender);
    m_report.address = m_address;
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
    if (m_step != JobStep::Verify || m_plan.watch != ComeBackWatch::DiscoveryRounds)
        return;
    if (m_rounds > 0 && !m_heardThisRound)
        m_wentSilent = true;
    m_heardThisRound = false;
    ++m_rounds;
}

void DeviceJob::ResultReply(const ReplyDatagram& reply, unsigned /*arrival*/)
{
    // In Verify only while watching by discovery rounds: the reboot's result
    // is still awaited then.
    const int result = reply.resultCode();
    if (m_step != JobStep::Change && m_step != JobStep::Reboot && m_step != JobStep::Restart &&
        m_step != JobStep::Verify)
        return;
    if (result != 0) {
        Finish(result == 1 ? JobOutcome::AuthenticationError : JobOutcome::UnknownResult, result);
        return;
    }
    // Result 0 after the reboot (an agent that confirms it) changes nothing.
    if (m_step != JobStep::Change)
        return;
    NoteAcceptedChange();
    if (m_plan.reboot) {
        Disarm();
        BeginReboot();
    } else {
        Finish(JobOutcome::Stored);
    }
}

void DeviceJob::Finish(JobOutcome outcome, int result)
{
    Disarm();
    m_transport.StopAwaiting(*this);
    m_query = RouteQuery::None;
    m_report.outcome = outcome;
    m_report.step = m_step;
    m_report.result = result;
    if (outcome == JobOutcome::NeedsBroadcast)
        m_report.route = m_route;
    if (m_report.address.empty())
        m_report.address = m_address;
    // Not read again: what the device should hold now. A refused change,
    // or one that went unanswered, is taken as not made; one accepted before
    // the reboot stays made, whatever became of the reboot.
    const bool rebooting = m_step == JobStep::Reboot || m_step == JobStep::Restart || m_step == JobStep::Verify;
    const bool changed = m_plan.change && (rebooting || outcome == JobOutcome::Stored ||
                                           outcome == JobOutcome::Verified || outcome == JobOutcome::NotVerified ||
                                           outcome == JobOutcome::RebootSent);
    if (!m_report.after && m_report.before)
        m_report.after = changed ? m_plan.change->AppliedTo(*m_report.before) : m_report.before;
    if (m_report.after && outcome != JobOutcome::Timeout)
        m_known = m_report.after;
    m_step = JobStep::Done;
    // The last call: the owner may end the job once it returns.
    m_listener.JobFinished(*this, m_report);
}

} // namespace pemblor
