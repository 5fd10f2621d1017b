#include "fleet/PlanJob.h"
#include "tests/fakenet/FakeNetwork.h"
#include "tests/fakenet/VirtualClock.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace pemblor {
namespace {

// On the devices' link every planned address is probed once; after more
// than ProbeSettleAbove of them the job waits ProbeSettleMs more before it
// ends, whichever front end runs it.
TEST(PlanJob, SettlesOnlyAfterProbingManyAddresses)
{
    struct Case {
        std::size_t devices;
        EventLoop::Millis ends;
    };
    for (const Case c :
         {Case{ProbeSettleAbove, ResolutionWaitMs}, Case{ProbeSettleAbove + 1, ResolutionWaitMs + ProbeSettleMs}}) {
        SCOPED_TRACE(c.devices);
        FakeNetwork network;
        network.AddHost("198.18.0.1", "lan", "eth0", "255.255.252.0");
        const auto sockets = network.NewLayer("198.18.0.1");
        VirtualClock clock([&network] { return network.Quiescent(); });
        EventLoop loop(clock);

        PlanInputs inputs;
        PlanRequest& request = inputs.request;
        request.start = "198.18.1.1";
        request.netmask = "255.255.252.0";
        for (std::size_t i = 0; i < c.devices; ++i) {
            char mac[24];
            std::snprintf(mac, sizeof mac, "02:00:00:00:%02X:%02X", static_cast<unsigned>(i / 256) & 0xFF,
                          static_cast<unsigned>(i % 256));
            request.macs.push_back(mac);
        }
        // The first device answered on eth0, 198.18.0.1/22, from its factory
        // address 192.168.1.1.
        HeardDevice first{request.macs.front(), 0xC0A80101, std::nullopt,
                          NetworkInterface{"eth0", 2, 0xC6120001, 0xFFFFFC00}};
        inputs.heard = {first};
        inputs.sockets = sockets.get();
        PlanJob job(loop, std::move(inputs));
        job.Start();
        EXPECT_FALSE(job.Done());
        ASSERT_TRUE(loop.RunUntil(loop.Now() + 60000, [&job] { return job.Done(); }));
        EXPECT_EQ(loop.Now(), c.ends);
        std::size_t probes = 0;
        for (const FakeNetwork::SentDatagram& sent : network.SentLog())
            probes += sent.toPort == 9 ? 1 : 0;
        EXPECT_EQ(probes, c.devices);
    }
}

} // namespace
} // namespace pemblor
