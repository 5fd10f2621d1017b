// The device list window's own row path allocates nothing on the receive
// thread for a reply from a device already listed, also when replies come
// one at a time and each becomes a batch of its own (a flush posted to the
// user-interface thread per reply). A new device's record may allocate.
#include "engine/ISocket.h"
#include "tests/gui/DeviceListRig.h"
#include "tests/support/AllocationCounter.h"

#include <gtest/gtest.h>

namespace pemblor {
namespace {

TEST(DeviceListAllocation, RepliesOneAtATimeAllocateNothingOnTheReceiveThread)
{
    DeviceListRig rig;
    rig.Open();
    // Replies sent from this thread, so that only the window's own threads
    // are counted.
    auto host = rig.net.NewLayer("198.18.0.10");
    auto socket = host->Open();
    ASSERT_TRUE(socket->Bind(0) && socket->SetBroadcast());
    const auto reply = [&](int index) {
        const Datagram datagram =
            EncodeDatagram(TypeQueryReply, GuiRig::ApMac(index), "", "",
                           {"SSID=ap" + std::to_string(index), "IP_ADDR=198.18.0.10",
                            "CURRENT_SUBNET_MASK=255.255.255.0", "CHANNEL=6"});
        socket->SendTo(datagram.data(), datagram.size, DevicePort, GuiRig::ToolHost);
    };

    rig.Discover();
    const int replies = 20;
    for (int i = 0; i <= replies; ++i) {
        reply(i);
        rig.Advance(1);
    }
    {
        test::AllocationCount count;
        for (int i = 0; i <= replies; ++i) {
            reply(i);
            reply(i);
            rig.Advance(1);
        }
        EXPECT_EQ(count.Stop(), 0) << "allocations on the receive thread for " << 2 * (replies + 1) << " replies";
    }
    EXPECT_EQ(rig.Cells().size(), replies + 1u);
    EXPECT_EQ(rig.Cells().back()[1], "ap20");
}

} // namespace
} // namespace pemblor
