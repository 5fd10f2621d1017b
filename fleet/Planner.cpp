#include "fleet/Planner.h"

#include "fleet/PlanFile.h"
#include "fleet/SettingsCheck.h"
#include "protocol/MacText.h"

#include <algorithm>
#include <map>
#include <set>

namespace pemblor {

PlanResult MakePlan(const PlanRequest& request, std::span<const HeardDevice> heard,
                    std::span<const std::uint32_t> reserved, std::span<const Neighbour> hosts)
{
    PlanResult result;
    auto fail = [&result](std::string why) {
        result.rows.clear();
        result.skipped.clear();
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
        for (auto mac = request.macs.begin(); !anchor && mac != request.macs.end(); ++mac) {
            const auto found = std::find_if(heard.begin(), heard.end(), [&mac](const HeardDevice& device) {
                return device.mac == *mac && device.heardOn;
            });
            anchor = found != heard.end() ? &*found : nullptr;
        }
        if (!anchor)
            return fail("No netmask given and no device of the plan answered on a known interface, so the network "
                        "to plan in is not known; give the netmask.");
        const std::vector<Ipv4Network> networks = anchor->heardOn->Networks();
        const auto holding = std::find_if(networks.begin(), networks.end(),
                                          [start](const Ipv4Network& network) { return network.Contains(start); });
        if (holding == networks.end())
            return fail(request.start + " is not in the network " + SubnetText(*anchor->heardOn) + " of " +
                        anchor->heardOn->name + ", where " + anchor->mac + " answered; give the netmask.");
        netmask = holding->netmask;
    }

    if (!IsPlannableNetmask(netmask))
        return fail("The netmask " + FormatIpv4(netmask) + " is no network prefix from /8 to /30.");
    const std::uint32_t network = start & netmask;
    const std::uint32_t broadcast = network | ~netmask;
    const std::string networkText = SubnetText(Ipv4Network{network, netmask});
    // Why an address may go to no device, and which devices hold one now.
    std::map<std::uint32_t, std::string> taken;
    for (const std::uint32_t own : reserved)
        taken.emplace(own, "this computer's address");
    taken.emplace(network, "the network address");
    taken.emplace(broadcast, "the broadcast address");
    std::uint32_t gateway = 0;
    if (first.gateway && ParseIpv4(first.gateway->c_str(), gateway) && gateway != 0) {
        if ((gateway & netmask) != network)
            return fail("The gateway " + *first.gateway + " is outside the network " + networkText + ".");
        taken.emplace(gateway, "the gateway");
    }
    std::map<std::uint32_t, std::set<std::string>> holders;
    for (const HeardDevice& device : heard) {
        holders[device.answersFrom].insert(device.mac);
        if (device.reports)
            holders[*device.reports].insert(device.mac);
    }
    for (const Neighbour& host : hosts) {
        if (holders.count(host.address) == 0)
            taken.emplace(host.address, "held by another host (" + std::string(FormatMacText(host.mac).view()) + ")");
    }
    // Empty when `address` may go to `mac`.
    auto whyNot = [&](std::uint32_t address, const std::string& mac) -> std::string {
        if (const auto fixed = taken.find(address); fixed != taken.end())
            return fixed->second;
        if (const auto held = holders.find(address); held != holders.end()) {
            for (const std::string& holder : held->second)
                if (holder != mac)
                    return "held by " + holder;
        }
        if (!ReadAddressArgument(FormatIpv4(address), IpAddressFields))
            return "not a device address";
        return {};
    };
    for (const std::string& mac : request.macs) {
        if (std::none_of(heard.begin(), heard.end(), [&mac](const HeardDevice& device) { return device.mac == mac; }))
            result.unheard.push_back(mac);
    }

    // 64-bit, so that stepping past 255.255.255.255 ends the walk.
    std::uint64_t next = start;
    for (const std::string& mac : request.macs) {
        for (;; ++next) {
            if (next > broadcast)
                return fail("The network " + networkText + " has no address left for " + mac + " (counting from " +
                            request.start + ").");
            const auto address = static_cast<std::uint32_t>(next);
            std::string reason = whyNot(address, mac);
            if (reason.empty())
                break;
            result.skipped.push_back({FormatIpv4(address), std::move(reason)});
        }
        const std::string ip = FormatIpv4(static_cast<std::uint32_t>(next));
        result.rows.push_back({mac, ip, first.subnetMask, first.gateway, request.dhcp});
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

bool PlanOnDevicesLink(const PlanRequest& request, std::span<const HeardDevice> heard)
{
    std::uint32_t start = 0;
    if (!ParseIpv4(request.start.c_str(), start))
        return false;
    for (const HeardDevice& device : heard) {
        if (!device.heardOn || std::find(request.macs.begin(), request.macs.end(), device.mac) == request.macs.end())
            continue;
        if (device.heardOn->Contains(start))
            return true;
    }
    return false;
}

std::vector<std::uint32_t> AddressesToProbe(std::span<const PlanRow> rows, std::set<std::uint32_t>& probed)
{
    std::vector<std::uint32_t> fresh;
    for (const PlanRow& row : rows) {
        std::uint32_t address = 0;
        if (row.ip && ParseIpv4(row.ip->c_str(), address) && probed.insert(address).second)
            fresh.push_back(address);
    }
    return fresh;
}

} // namespace pemblor
