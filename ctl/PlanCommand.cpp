#include "ctl/DeviceSession.h"
#include "ctl/ExitCode.h"
#include "ctl/CommandRuns.h"
#include "ctl/Writers.h"
#include "fleet/PlanFile.h"
#include "fleet/Planner.h"
#include "fleet/SettingsCheck.h"
#include "engine/NeighbourTable.h"

#include <iomanip>
#include <set>

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

int RunPlan(const CtlOptions& options, DeviceSession& session, EventLoop& loop, CtlIo& io,
            IInterfaceList* interfaces, ISocketLayer& sockets, const char* neighbourTable)
{
    std::vector<FoundDevice> found;
    std::string error;
    const bool sent = session.BeginDiscovery([&found](const FoundDevice& device) { found.push_back(device); }, error);
    if (!error.empty())
        io.err << "pemblorctl: " << error << (error.back() == '\n' ? "" : "\n");
    if (!sent)
        return ExitNetwork;
    session.ListenFor(options.timeoutSeconds);

    std::vector<NetworkInterface> own;
    if (interfaces)
        interfaces->Usable(own);
    const std::vector<std::uint32_t> reserved = OwnAddresses(own);

    std::vector<HeardDevice> heard;
    for (const FoundDevice& device : found) {
        HeardDevice entry;
        entry.mac = device.mac;
        if (!ParseIpv4(device.ip.c_str(), entry.answersFrom))
            continue;
        std::uint32_t reports = 0;
        if (device.ipAddr && ParseIpv4(device.ipAddr->c_str(), reports))
            entry.reports = reports;
        for (const NetworkInterface& networkInterface : own) {
            if (device.interfaceName && *device.interfaceName == networkInterface.name)
                entry.heardOn = networkInterface;
        }
        heard.push_back(std::move(entry));
    }

    PlanRequest request;
    request.macs = options.macs;
    request.start = options.ip.value_or(std::string());
    request.netmask = options.netmask;
    request.gateway = options.gateway;
    request.dhcp = options.dhcp;
    PlanResult plan = MakePlan(request, heard, reserved);
    // Other hosts on the devices' link: each planned address is probed once
    // and the plan made again with the hosts that answered, until every
    // address it gives has been probed (skips move the later ones on).
    if (plan.Planned() && PlanOnDevicesLink(request, heard)) {
        std::set<std::uint32_t> probed;
        for (int pass = 0; pass < MaxProbePasses && plan.Planned(); ++pass) {
            const std::vector<std::uint32_t> fresh = AddressesToProbe(plan.rows, probed);
            if (fresh.empty())
                break;
            PromptResolution(sockets, fresh);
            loop.RunUntil(loop.Now() + ResolutionWaitMs, [] { return false; });
            const std::vector<Neighbour> hosts = ReadNeighbourTable(neighbourTable);
            plan = MakePlan(request, heard, reserved, hosts);
        }
        if (probed.size() > ProbeSettleAbove)
            loop.RunUntil(loop.Now() + ProbeSettleMs, [] { return false; });
    }
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
