#include "ctl/DeviceSession.h"
#include "ctl/ExitCode.h"
#include "ctl/CommandRuns.h"
#include "ctl/Writers.h"
#include "engine/EventLoop.h"
#include "engine/Transport.h"
#include "fleet/PlanFile.h"
#include "fleet/FleetJob.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>

namespace pemblor {

namespace {

// How often the loop looks at the interrupt flag: a signal does not wake it.
constexpr EventLoop::Millis InterruptPollMs = 200;
// How often the wait for rebooted devices is reported.
constexpr EventLoop::Millis WaitReportMs = 10000;

} // namespace

bool ReadApplyPlan(const std::string& path, std::vector<JobRow>& rows, CtlIo& io)
{
    std::ifstream file(path);
    if (!file) {
        io.err << "pemblorctl: cannot read the plan " << path << ": " << std::strerror(errno) << '\n';
        return false;
    }
    std::vector<PlanFileRow> read;
    std::string error;
    if (!ReadPlanFile(file, read, error)) {
        io.err << "pemblorctl: " << path << ": " << error << '\n';
        return false;
    }
    if (read.empty()) {
        io.err << "pemblorctl: " << path << ": the plan has no devices\n";
        return false;
    }
    for (PlanFileRow& row : read)
        rows.push_back({std::move(row.row), std::move(row.problem)});
    return true;
}

namespace {

// What the user is told of a device's phase; nothing for the phases that go
// by unsaid.
const char* PhaseText(DevicePhase phase)
{
    if (phase == DevicePhase::Reading)
        return "reading";
    if (phase == DevicePhase::Changing)
        return "changing";
    if (phase == DevicePhase::Verifying)
        return "rebooting; waiting up to 90 s to see it at its new address";
    return nullptr;
}

} // namespace

int RunApply(const CtlOptions& options, DeviceSession& session, EventLoop& loop, CtlIo& io,
             const std::string& password, std::vector<JobRow> rows)
{
    JobSettings settings;
    settings.user = options.user;
    settings.password = password;
    settings.reboot = options.reboot;
    settings.dryRun = options.dryRun;
    settings.readTimeoutMs = static_cast<unsigned>(std::llround(options.timeoutSeconds * 1000.0));
    settings.broadcast = options.unicastOnly ? CredentialBroadcast::Refuse : CredentialBroadcast::Allow;

    OutcomeWriter writer(io.out, options.format);
    bool allDone = true;
    Transport& transport = session.transport();
    FleetJob job(
        transport, loop, settings, std::move(rows),
        [&](const DeviceOutcome& outcome) {
            DeviceOutcome told = outcome;
            if (told.result == JobOutcome::NeedsBroadcast)
                told.message += UnicastOnlyAdvice;
            writer.Outcome(told);
            allDone = allDone && (Succeeded(outcome.result) ||
                                  (options.dryRun && outcome.result == JobOutcome::WouldChange));
        },
        [&](std::string_view mac, DevicePhase phase) {
            if (const char* text = PhaseText(phase))
                io.err << mac << ": " << text << '\n';
        });

    job.TellBroadcasts([&io](std::string_view mac, const CredentialRoute& route) {
        io.err << BroadcastWarning(mac, route) << std::endl;
    });

    const auto interrupted = [&io] { return io.interrupted && io.interrupted->load(); };
    bool stopped = false;
    job.Start();
    EventLoop::Millis nextReport = loop.Now() + WaitReportMs;
    while (!job.Done()) {
        if (interrupted()) {
            job.Cancel();
            stopped = true;
            break;
        }
        // The job runs on the loop's deadlines and replies; this wait only
        // looks at the interrupt flag and the wait's report now and then.
        EventLoop::Millis until = loop.Now() + InterruptPollMs;
        if (nextReport > loop.Now())
            until = std::min(until, nextReport);
        loop.RunUntil(until, [&] { return job.Done() || interrupted(); });
        const std::size_t verifying = job.Verifying();
        if (verifying > 0 && loop.Now() >= nextReport) {
            io.err << "waiting for " << verifying << (verifying == 1 ? " device" : " devices")
                   << " to answer at the new address\n";
            nextReport = loop.Now() + WaitReportMs;
        }
    }
    transport.StopReceiveThread();
    if (job.ReceiveStopped())
        io.err << "pemblorctl: the receive thread stopped listening; replies may have been missed\n";
    if (!job.PlanConflict().empty()) {
        io.err << "pemblorctl: " << job.PlanConflict() << '\n';
        return ExitUsage;
    }
    if (stopped) {
        io.err << "pemblorctl: stopped";
        if (job.Untouched() > 0)
            io.err << "; " << job.Untouched() << (job.Untouched() == 1 ? " device was" : " devices were")
                   << " not changed";
        io.err << '\n';
        return ExitNotAllDone;
    }
    return allDone ? ExitOk : ExitNotAllDone;
}

} // namespace pemblor
