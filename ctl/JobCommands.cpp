#include "ctl/CommandRuns.h"

#include "ctl/Writers.h"
#include "ctl/ExitCode.h"
#include "common/EngineTexts.h"
#include "engine/RereadSchedule.h"
#include "protocol/Requests.h"

#include <cmath>
#include <functional>

namespace pemblor {

namespace {

// How a password that would go by broadcast is worded.
std::string Why(const CredentialRoute& route)
{
    if (route.reason == BroadcastReason::SharedAddress)
        return " shares its address with another device";
    if (route.reason == BroadcastReason::NoUnicastAnswer)
        return " does not answer by unicast";
    return " is outside this computer's networks";
}

std::string Where(const CredentialRoute& route)
{
    return route.interfaceName.empty() ? std::string(MsgOneSegment) : route.interfaceName;
}

// The plan's credentials: by unicast where the network allows; else by
// broadcast after a warning, or, with --unicast-only, not at all.
void SendCredentials(const CtlOptions& options, DeviceSession& session, CtlIo& io, JobPlan& plan,
                     const std::string& password)
{
    plan.credentials = {options.user, password};
    plan.broadcast = options.unicastOnly ? CredentialBroadcast::Refuse : CredentialBroadcast::Allow;
    session.onBroadcast = [&options, &io](const CredentialRoute& route) {
        io.err << BroadcastWarning(options.mac, route) << std::endl;
    };
}

// Why a rebooted device does not count as back.
std::string NotVerifiedText(const JobReport& report)
{
    const bool moved = !report.expectedAddress.empty() && report.expectedAddress != report.oldAddress;
    if (!report.heardAfterRestart) {
        if (moved)
            return "The device did not answer after restarting. It may be at its new address " +
                   report.expectedAddress + " or still restarting.";
        return "The device did not answer after restarting. It may still be restarting.";
    }
    const std::string& from = report.address;
    if (!report.expectedAddress.empty() && from != report.expectedAddress)
        return "The device answered only from " + std::string(from == report.oldAddress ? "its old address " : "") +
               from + ", not from its new address " + report.expectedAddress + ".";
    // At its address, but not with the netmask it should have.
    const std::string netmask = report.after && report.after->netmask ? *report.after->netmask : std::string();
    return "The device answered from " + from + " with netmask " + netmask + ", not with its new netmask " +
           report.expectedNetmask + ".";
}

// The outcomes every command words alike: a failure message on standard
// error (and in the JSON object) and its exit status. Nothing for an outcome
// the command words itself.
struct Failure {
    std::string message;
    int status = ExitOk;
};

std::optional<Failure> CommonFailure(const CtlOptions& options, const JobReport& report)
{
    switch (report.outcome) {
    case JobOutcome::NeedsBroadcast:
        return Failure{BroadcastRefusedText(options.mac, report.route.value_or(CredentialRoute{})),
                       ExitBroadcastRefused};
    case JobOutcome::Timeout:
        return Failure{"Time Out!", ExitTimeOut};
    case JobOutcome::AuthenticationError:
        return Failure{"Authentication Error!", ExitRefused};
    case JobOutcome::UnknownResult:
        if (!report.contestedBy.empty())
            return Failure{"The device's result cannot be told from that of " + report.contestedBy +
                               ", which commanded it at the same time.",
                           ExitOtherResult};
        return Failure{"The device answered with an unknown result (" + std::to_string(report.result) + ").",
                       ExitOtherResult};
    case JobOutcome::NotVerified:
        return Failure{NotVerifiedText(report), ExitTimeOut};
    case JobOutcome::SendFailed:
    case JobOutcome::Stopped:
        return Failure{{}, ExitNetwork};
    default:
        return std::nullopt;
    }
}

// Runs `plan` for the device, waiting --timeout for each read, and prints how
// it ended: a failure as every command words it (the outcome object too, in
// JSON), else the outcome object in JSON, or `print`'s text. Returns the exit
// status.
int RunJob(const CtlOptions& options, DeviceSession& session, CtlIo& io, JobPlan plan,
           const std::function<void(const JobReport&)>& print)
{
    plan.detailTimeoutMs = static_cast<unsigned>(std::llround(options.timeoutSeconds * 1000.0));
    // The send failures as they come, one line each.
    session.onSendFailure = [&io](const std::string& message) { io.err << "pemblorctl: " << message << '\n'; };
    const JobReport report = session.Run(options.mac, plan);
    const std::optional<Failure> failure = CommonFailure(options, report);
    if (options.format == OutputFormat::Json && (!failure || !ResultName(report.outcome).empty()))
        WriteOutcome(io.out, options.mac, report, failure ? failure->message : std::string());
    if (!failure) {
        if (options.format != OutputFormat::Json)
            print(report);
        return ExitOk;
    }
    if (report.outcome == JobOutcome::UnknownResult && report.contestedBy.empty())
        io.err << "pemblorctl: the device answered with result " << report.result << '\n';
    else if (!failure->message.empty())
        io.err << failure->message << '\n';
    return failure->status;
}

} // namespace

std::string BroadcastWarning(std::string_view device, const CredentialRoute& route)
{
    return "pemblorctl: warning: " + std::string(device) + Why(route) +
           ": its password will be broadcast to every host on " + Where(route) + ".";
}

std::string BroadcastRefusedText(std::string_view device, const CredentialRoute& route)
{
    return std::string(device) + Why(route) + ": its password would be broadcast to every host on " + Where(route) +
           ". Run without --unicast-only to send it anyway.";
}

int RunShow(const CtlOptions& options, DeviceSession& session, CtlIo& io)
{
    return RunJob(options, session, io, JobPlan{}, [&](const JobReport& report) {
        WriteDetail(io.out, options.format, options.mac, report.address, report.before.value_or(DeviceSettings{}));
    });
}

int RunSet(const CtlOptions& options, DeviceSession& session, CtlIo& io, const SettingsChange& change,
           const std::string& password)
{
    JobPlan plan;
    plan.change = SettingsRequest::From(change);
    SendCredentials(options, session, io, plan, password);
    return RunJob(options, session, io, plan, [&io](const JobReport& report) {
        io.out << (report.outcome == JobOutcome::Unchanged ? "Nothing to change.\n" : "Change setting successfully!\n");
    });
}

int RunReboot(const CtlOptions& options, DeviceSession& session, CtlIo& io, const std::string& password)
{
    JobPlan plan;
    SendCredentials(options, session, io, plan, password);
    plan.reboot = true;
    // Waiting, the device is read first: that tells where it answers from
    // now and where it should come back.
    plan.read = options.wait;
    plan.verify = options.wait;
    bool waitTold = false;
    int queriesTold = 0;
    session.onProgress = [&](JobStep step, int /*secondsLeft*/, int queriesSent) {
        if (step == JobStep::Restart && !waitTold) {
            waitTold = true;
            io.err << "It may take about one minute to reboot the target.\n"
                   << "Waiting " << RereadSchedule::RebootWaitMs / 1000 << " s for " << options.mac
                   << " to restart...\n";
        }
        if (step == JobStep::Verify && queriesSent > queriesTold) {
            queriesTold = queriesSent;
            io.err << "Asking " << options.mac << " for its settings (query " << queriesSent << " of "
                   << RereadSchedule::Resends + 1 << ")...\n";
        }
    };
    const int status = RunJob(options, session, io, plan, [&](const JobReport& report) {
        if (options.wait)
            io.out << report.address << '\n';
        else
            io.out << "Reboot sent to " << options.mac << ".\n";
    });
    session.onProgress = nullptr;
    return status;
}

} // namespace pemblor
