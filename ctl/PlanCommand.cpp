#include "ctl/DeviceSession.h"
#include "ctl/ExitCode.h"
#include "ctl/CommandRuns.h"
#include "ctl/Writers.h"
#include "fleet/PlanFile.h"
#include "fleet/PlanJob.h"
#include "fleet/Planner.h"
#include "fleet/SettingsCheck.h"

#include <cmath>
#include <iomanip>

namespace pemblor {

void WritePlan(std::ostream& out, OutputFormat format, std::span<const PlanRow> rows)
{
    switch (format) {
    case OutputFormat::Csv:
        WritePlanFile(out, rows);
        break;
    case OutputFormat::Json:
        for (const PlanRow& row : rows) {
            nlohmann::ordered_json object;
            object["mac"] = row.mac;
            object["ip"] = JsonValue(row.ip);
            object["netmask"] = JsonValue(row.netmask);
            object["gateway"] = JsonValue(row.gateway);
            object["dhcp"] = row.dhcp ? nlohmann::ordered_json(*row.dhcp) : nlohmann::ordered_json(nullptr);
            out << JsonLine(object);
        }
        break;
    case OutputFormat::Table:
        out << std::left << std::setw(18) << "MAC ADDRESS" << std::setw(16) << "IP ADDRESS" << std::setw(16)
            << "SUBNET MASK" << std::setw(16) << "GATEWAY"
            << "DHCP\n";
        for (const PlanRow& row : rows)
            out << std::setw(18) << row.mac << std::setw(16) << Text(row.ip, "-") << std::setw(16)
                << Text(row.netmask, "-") << std::setw(16) << Text(row.gateway, "-")
                << (row.dhcp ? (*row.dhcp ? "on" : "off") : "-") << '\n';
        break;
    }
    out.flush();
}

int RunPlan(const CtlOptions& options, DeviceSession& session, EventLoop& loop, CtlIo& io, ISocketLayer& sockets,
            const char* neighbourTable)
{
    PlanInputs inputs;
    inputs.request.macs = options.macs;
    inputs.request.start = options.ip.value_or(std::string());
    inputs.request.netmask = options.netmask;
    inputs.request.gateway = options.gateway;
    inputs.request.dhcp = options.dhcp;
    // The first plan knows no other hosts; the probes find them.
    inputs.sockets = &sockets;
    inputs.table = neighbourTable ? neighbourTable : "";
    bool sent = false;
    inputs.discover = [&] {
        std::string error;
        sent = session.BeginDiscovery([](const FoundDevice&) {}, error);
        if (!error.empty())
            io.err << "pemblorctl: " << error << (error.back() == '\n' ? "" : "\n");
        return sent;
    };
    // At most an hour (the command line checks --timeout).
    inputs.listenMs = static_cast<unsigned>(std::llround(options.timeoutSeconds * 1000.0));
    inputs.heardBy = [&session](PlanInputs& heard) {
        session.EndDiscovery();
        HearFrom(session.registry(), session.transport(), heard);
    };
    PlanJob job(loop, std::move(inputs));
    job.Start();
    loop.RunUntil(loop.Now() + DeviceSession::RunBoundMs, [&job] { return job.Done(); });
    if (!sent)
        return ExitNetwork;
    const PlanResult& plan = job.Result();
    if (!plan.Planned()) {
        io.err << "pemblorctl: cannot plan: " << plan.failure << '\n';
        return ExitUsage;
    }
    for (const std::string& mac : plan.unheard)
        io.err << "pemblorctl: " << mac << " did not answer the discovery; planned all the same\n";
    for (const SkippedAddress& skipped : plan.skipped)
        io.err << "pemblorctl: " << skipped.address << " skipped: " << skipped.reason << '\n';
    WritePlan(io.out, options.format, plan.rows);
    return ExitOk;
}

} // namespace pemblor
