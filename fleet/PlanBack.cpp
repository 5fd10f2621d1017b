#include "fleet/PlanBack.h"

#include "fleet/PlanFile.h"

#include <algorithm>
#include <map>

namespace pemblor {
namespace {

// Results after which a device holds what it held before: it was sent
// nothing, or needed nothing.
constexpr std::string_view TookNothing[] = {"unchanged", "would-change", "invalid", "not-found"};
// Results after which it may hold something else. A timeout, a
// needs-broadcast and an outcome without a name (stopped, could not send)
// may come before the device was read, and so before anything was sent:
// apply reads every device before it changes one.
constexpr std::string_view MayHaveChanged[] = {"verified",       "stored",  "not-verified",
                                               "reboot-not-sent", "unknown-result", "authentication-error"};
constexpr std::string_view MaybeUnread[] = {"timeout", "needs-broadcast", ""};

bool In(std::span<const std::string_view> names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

ResultRow ResultRowOf(const DeviceOutcome& outcome)
{
    ResultRow row{0, outcome.mac, std::string(ResultName(outcome.result)), std::nullopt};
    if (const std::optional<DeviceSettings>& before = outcome.before) {
        PlanRow plan{outcome.mac, before->ipAddr, before->netmask, before->gateway, std::nullopt};
        if (before->dhcp)
            plan.dhcp = before->DhcpOn();
        row.before = std::move(plan);
    }
    return row;
}

std::string CheckResultRows(std::span<const ResultRow> rows)
{
    for (const ResultRow& row : rows) {
        const std::string where = "line " + std::to_string(row.line) + ": " + row.mac;
        if (!In(TookNothing, row.result) && !In(MayHaveChanged, row.result) && !In(MaybeUnread, row.result))
            return where + " has the unknown result " + row.result;
        if (In(MayHaveChanged, row.result) && (!row.before || !row.before->ip || !row.before->netmask))
            return where + " (" + row.result + ") has no before address and netmask to put back";
    }
    return {};
}

std::size_t PlanBack::Count(Why why) const
{
    return static_cast<std::size_t>(
        std::count_if(leftOut.begin(), leftOut.end(), [why](const LeftOut& out) { return out.why == why; }));
}

PlanBack MakePlanBack(std::span<const ResultRow> rows)
{
    // Who held each before address: a plan gives an address to one device.
    std::map<std::string, std::vector<std::string>> holders;
    for (const ResultRow& row : rows) {
        if (row.before && row.before->ip)
            holders[*row.before->ip].push_back(row.mac);
    }
    PlanBack back;
    std::vector<PlanRow> candidates;
    std::vector<std::size_t> from;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ResultRow& row = rows[i];
        if (In(TookNothing, row.result) || !row.before || !row.before->ip) {
            back.leftOut.push_back({i, PlanBack::Why::TookNothing, {}});
            continue;
        }
        const std::vector<std::string>& macs = holders[*row.before->ip];
        if (macs.size() > 1) {
            const std::string& other = macs.front() == row.mac ? macs[1] : macs.front();
            back.leftOut.push_back({i, PlanBack::Why::SharedBefore, other});
            continue;
        }
        candidates.push_back(*row.before);
        from.push_back(i);
    }
    // A before value that apply would refuse (a netmask no LAN has, say)
    // leaves that device out; the others are still put back.
    const std::vector<std::string> failures = CheckPlan(candidates);
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (!failures[i].empty()) {
            back.leftOut.push_back({from[i], PlanBack::Why::CannotPlan, failures[i]});
            continue;
        }
        back.rows.push_back(std::move(candidates[i]));
        back.from.push_back(from[i]);
    }
    return back;
}

} // namespace pemblor
