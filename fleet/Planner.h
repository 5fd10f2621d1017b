#pragma once
#include "engine/NetworkInterface.h"
#include "fleet/PlanRow.h"

#include <cstdint>
#include <optional>
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

struct PlanResult {
    std::vector<PlanRow> rows;
    // Why nothing could be planned; empty when `rows` is the plan.
    std::string failure;
    // Devices of the plan that did not answer the discovery; they are
    // planned all the same.
    std::vector<std::string> unheard;

    bool Planned() const { return failure.empty(); }
};

// Gives the devices addresses upward from the start, one each, skipping the
// network and broadcast addresses, the addresses any heard device outside
// the plan answers from or reports, `reserved` (the computer's own), and
// the addresses the Setup IP dialog's address control cannot hold. The
// network is the netmask's around the start address; without a netmask the
// network of the interface the first heard device of the plan answered on.
// Fails, planning nothing, when a row would not pass the dialog's check,
// when the network cannot be told, when the start lies outside it, when a
// device is listed twice, or when the addresses run out of the network.
PlanResult MakePlan(const PlanRequest& request, std::span<const HeardDevice> heard,
                    std::span<const std::uint32_t> reserved = {});

} // namespace pemblor
