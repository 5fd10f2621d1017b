#pragma once
#include "engine/NeighbourTable.h"
#include "engine/NetworkInterface.h"
#include "fleet/PlanRow.h"

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace pemblor {

// A device the discovery before planning heard. Addresses in host order.
struct HeardDevice {
    std::string mac; // upper-case MAC text
    std::uint32_t answersFrom = 0;
    std::optional<std::uint32_t> reports; // the IP_ADDR it reports
    std::optional<NetworkInterface> heardOn;
};

// What to plan: the devices in the order addresses are given to them, the
// first address, and the values every row gets besides (nullopt: leave).
struct PlanRequest {
    std::vector<std::string> macs; // upper-case MAC texts
    std::string start;
    std::optional<std::string> netmask;
    std::optional<std::string> gateway;
    std::optional<bool> dhcp;
};

// An address the plan passed over, and why: "the gateway", "the network
// address", "the broadcast address", "this computer's address", "held by
// MAC".
struct SkippedAddress {
    std::string address;
    std::string reason;
};

struct PlanResult {
    std::vector<PlanRow> rows;
    // The addresses passed over between the start and the last planned one.
    std::vector<SkippedAddress> skipped;
    // Why nothing could be planned; empty when `rows` is the plan.
    std::string failure;
    // Devices of the plan that did not answer the discovery; they are
    // planned all the same.
    std::vector<std::string> unheard;

    bool Planned() const { return failure.empty(); }
};

// Gives the devices addresses upward from the start, one each, skipping the
// network and broadcast addresses, the gateway, `reserved` (the computer's
// own), every address a heard device answers from or reports, in the plan
// or not (but a device's own), and the addresses the Setup IP dialog's
// address control cannot hold; so no device is ever planned onto an address
// another one holds while the plan runs, whatever order the moves take.
// `hosts` (the neighbour table) takes the addresses of other hosts on the
// segment too: an address that resolves and that no heard device answers
// from or reports is a printer's, a computer's, a router's. The
// network is the netmask's around the start address; without a netmask the
// network of the interface the first heard device of the plan answered on.
// Fails, planning nothing, when a row would not pass the plan's check
// (CheckPlan), when the network cannot be told, when the start or the
// gateway lies outside it, when the netmask is no prefix from /8 to /30,
// when a device is listed twice, or when the addresses run out of the
// network.
PlanResult MakePlan(const PlanRequest& request, std::span<const HeardDevice> heard,
                    std::span<const std::uint32_t> reserved = {}, std::span<const Neighbour> hosts = {});

// Whether the plan's start address lies in the network of an interface that
// a device of the plan answered on: only there does probing the planned
// addresses (PromptResolution) tell the other hosts on the segment.
bool PlanOnDevicesLink(const PlanRequest& request, std::span<const HeardDevice> heard);

// The planned addresses of `rows` not in `probed` yet, which they join; in
// row order. A plan whose addresses have all been probed gives none.
std::vector<std::uint32_t> AddressesToProbe(std::span<const PlanRow> rows, std::set<std::uint32_t>& probed);

// How many times a plan is probed and made again at the most, and how long
// the kernel is given to resolve the probed addresses.
inline constexpr int MaxProbePasses = 8;
inline constexpr unsigned ResolutionWaitMs = 300;
// The kernel goes on asking for a probed address that nobody holds for 3 s
// (three requests a second apart), and holds a neighbour entry for it all
// that while, in a table of 1,024 for the whole host by default. After
// probing more than ProbeSettleAbove addresses, plan waits that out, so that
// the apply that follows finds room for its devices' entries.
inline constexpr std::size_t ProbeSettleAbove = 256;
inline constexpr unsigned ProbeSettleMs = 3000;

} // namespace pemblor
