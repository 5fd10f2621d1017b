#include "fleet/Planner.h"

#include "fleet/PlanFile.h"
#include "fleet/SettingsCheck.h"

#include <set>

namespace pemblor {

namespace {

std::string NetworkText(std::uint32_t network, std::uint32_t netmask)
{
    NetworkInterface shape;
    shape.address = network;
    shape.netmask = netmask;
    return SubnetText(shape);
}

} // namespace

PlanResult MakePlan(const PlanRequest& request, std::span<const HeardDevice> heard,
                    std::span<const std::uint32_t> reserved)
{
    PlanResult result;
    auto fail = [&result](std::string why) {
        result.rows.clear();
        result.failure = std::move(why);
        return result;
    };
    if (request.macs.empty())
        return fail("No device to plan for.");

    const ValidationOutcome first =
        CheckSettingTexts(request.start, request.netmask, request.gateway, request.dhcp);
    if (!first.Accepted())
        return fail(std::string(first.failure));
    std::uint32_t start = 0;
    ParseIpv4(first.ipAddress->c_str(), start);

    const std::set<std::string> planned(request.macs.begin(), request.macs.end());
    std::set<std::string> listed;
    for (const std::string& mac : request.macs) {
        if (!listed.insert(mac).second)
            return fail(mac + " is listed twice.");
    }

    std::uint32_t netmask = 0;
    if (first.subnetMask) {
        ParseIpv4(first.subnetMask->c_str(), netmask);
    } else {
        const HeardDevice* anchor = nullptr;
        for (const std::string& mac : request.macs) {
            for (const HeardDevice& device : heard) {
                if (device.mac == mac && device.heardOn) {
                    anchor = &device;
                    break;
                }
            }
            if (anchor)
                break;
        }
        if (!anchor)
            return fail("No netmask given and no device of the plan answered on a known interface, so the network "
                        "to plan in is not known; give the netmask.");
        if (!anchor->heardOn->Contains(start))
            return fail(request.start + " is not in the network " + SubnetText(*anchor->heardOn) + " of " +
                        anchor->heardOn->name + ", where " + anchor->mac + " answered; give the netmask.");
        netmask = anchor->heardOn->netmask;
    }

    const std::uint32_t network = start & netmask;
    const std::uint32_t broadcast = network | ~netmask;
    std::set<std::uint32_t> taken(reserved.begin(), reserved.end());
    taken.insert(network);
    taken.insert(broadcast);
    for (const HeardDevice& device : heard) {
        if (planned.count(device.mac))
            continue;
        taken.insert(device.answersFrom);
        if (device.reports)
            taken.insert(*device.reports);
    }
    for (const std::string& mac : request.macs) {
        bool unheard = true;
        for (const HeardDevice& device : heard)
            unheard = unheard && device.mac != mac;
        if (unheard)
            result.unheard.push_back(mac);
    }

    // 64-bit, so that stepping past 255.255.255.255 ends the walk.
    std::uint64_t next = start;
    for (const std::string& mac : request.macs) {
        for (;; ++next) {
            if (next > broadcast)
                return fail("The network " + NetworkText(network, netmask) + " has no address left for " + mac +
                            " (counting from " + request.start + ").");
            const auto address = static_cast<std::uint32_t>(next);
            if (taken.count(address) == 0 && ReadAddressArgument(FormatIpv4(address), IpAddressFields))
                break;
        }
        PlanRow row;
        row.mac = mac;
        row.ip = FormatIpv4(static_cast<std::uint32_t>(next));
        row.netmask = first.subnetMask;
        row.gateway = first.gateway;
        row.dhcp = request.dhcp;
        result.rows.push_back(std::move(row));
        ++next;
    }

    // A planned plan must pass the check that apply runs on it.
    const std::vector<std::string> refused = CheckPlan(result.rows);
    for (std::size_t i = 0; i < refused.size(); ++i) {
        if (!refused[i].empty())
            return fail(result.rows[i].mac + ": " + refused[i]);
    }
    return result;
}

} // namespace pemblor
