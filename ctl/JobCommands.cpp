#include "ctl/CommandRuns.h"

#include "ctl/Writers.h"
#include "ctl/ExitCode.h"
#include "common/EngineTexts.h"
#include "common/OutcomeText.h"
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

// The exit status of an outcome that is a failure; nothing for one the
// command words itself.
std::optional<int> FailureStatus(JobOutcome outcome)
{
    switch (outcome) {
    case JobOutcome::NeedsBroadcast:
        return ExitBroadcastRefused;
    case JobOutcome::Timeout:
    case JobOutcome::NotVerified:
        return ExitTimeOut;
    case JobOutcome::AuthenticationError:
        return ExitRefused;
    case JobOutcome::UnknownResult:
        return ExitOtherResult;
    case JobOutcome::SendFailed:
    case JobOutcome::Stopped:
        return ExitNetwork;
    default:
        return std::nullopt;
    }
}

// Runs `plan` for the device, waiting --timeout for each read, and prints how
// it ended: a failure's explanation on standard error (the outcome object
// too, in JSON), else the outcome object in JSON, or `print`'s text. Returns
// the exit status.
int RunJob(const CtlOptions& options, DeviceSession& session, CtlIo& io, JobPlan plan,
           const std::function<void(const JobReport&)>& print)
{
    plan.detailTimeoutMs = static_cast<unsigned>(std::llround(options.timeoutSeconds * 1000.0));
    // The send failures as they come, one line each.
    session.onSendFailure = [&io](const std::string& message) { io.err << "pemblorctl: " << message << '\n'; };
    const JobReport report = session.Run(options.mac, plan);
    DeviceOutcome outcome = OutcomeOf(options.mac, report, session.SendFailures());
    if (outcome.result == JobOutcome::NeedsBroadcast)
        outcome.message += UnicastOnlyAdvice;
    const std::optional<int> failure = FailureStatus(report.outcome);
    if (options.format == OutputFormat::Json && (!failure || !ResultName(report.outcome).empty()))
        OutcomeWriter(io.out, OutputFormat::Json).Outcome(outcome);
    if (!failure) {
        if (options.format != OutputFormat::Json)
            print(report);
        return ExitOk;
    }
    // Failed sends were told as they came.
    if (report.outcome != JobOutcome::SendFailed && !outcome.message.empty())
        io.err << outcome.message << '\n';
    return *failure;
}

// A plan that reboots, told as `reboot` tells it: the restart wait and the
// queries on standard error, then the address it answered from (waiting) or
// that the reboot was sent.
int RunRebootPlan(const CtlOptions& options, DeviceSession& session, CtlIo& io, const JobPlan& plan)
{
    bool waitTold = false;
    int queriesTold = 0;
    session.onProgress = [&](JobStep step, int /*secondsLeft*/, int queriesSent) {
        // A change goes first: accepted, it is stored whatever the reboot does.
        if (step == JobStep::Reboot && plan.change && options.format != OutputFormat::Json)
            io.out << "Change setting successfully!" << std::endl;
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
        if (report.outcome == JobOutcome::Unchanged)
            io.out << "Nothing to change.\n";
        else if (options.wait)
            io.out << report.address << '\n';
        else
            io.out << "Reboot sent to " << options.mac << ".\n";
    });
    session.onProgress = nullptr;
    return status;
}

} // namespace

std::string BroadcastWarning(std::string_view device, const CredentialRoute& route)
{
    return "pemblorctl: warning: " + std::string(device) + Why(route) +
           ": its password will be broadcast to every host on " + Where(route) + ".";
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
    if (!options.reboot) {
        return RunJob(options, session, io, plan, [&io](const JobReport& report) {
            io.out << (report.outcome == JobOutcome::Unchanged ? "Nothing to change.\n"
                                                                : "Change setting successfully!\n");
        });
    }
    // The change, its reboot and the re-read are one job, which expects the
    // device back with the values just set.
    plan.reboot = true;
    plan.verify = options.wait;
    return RunRebootPlan(options, session, io, plan);
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
    return RunRebootPlan(options, session, io, plan);
}

} // namespace pemblor
