#pragma once
// The access points of pemblorctl's tests: the simulator's, on the fake
// network and the loop's virtual clock, laid out as 10.0.0.x/24 with the
// gateway 10.0.0.254, MAC 02:00:00:AA:00:<last>, SSID "lab-<last>", channel
// 6, credentials admin/admin and a restart of 20 s.
#include "tests/support/SimAccessPoint.h"
#include "tools/apsim/LabAddress.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace pemblor {

struct Agent {
    apsim::ApSettings settings;
    apsim::Quirks quirks;
    std::chrono::milliseconds rebootTime{20000};
};

inline Agent Device(std::uint8_t last, const char* host)
{
    Agent agent;
    agent.settings.ip = *apsim::ParseAddress(host);
    agent.settings.mask = 0xFFFFFF00u;
    agent.settings.gateway = *apsim::ParseAddress("10.0.0.254");
    agent.settings.mac = {0x02, 0x00, 0x00, 0xAA, 0x00, last};
    agent.settings.ssid = "lab-" + std::to_string(last);
    agent.settings.channel = 6;
    return agent;
}

inline std::unique_ptr<SimAccessPoint> Start(FakeNetwork& network, EventLoop& loop, const Agent& agent)
{
    return std::make_unique<SimAccessPoint>(network, loop, agent.settings, agent.quirks, agent.rebootTime);
}

} // namespace pemblor
