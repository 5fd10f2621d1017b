// The session's receive path allocates nothing per datagram, in every state,
// once its devices are recorded: allocations on threads other than the
// test's own are counted.
#include "DiscoveryFixture.h"
#include "tests/support/AllocationCounter.h"

namespace pemblor::test {
namespace {

TEST_F(DiscoveryTest, ReceivePathAllocatesNothingPerDatagram)
{
    Open();
    // Warm-up: the first datagram of each kind may set up what lasts, and
    // each device's record is made once.
    Discover();
    ap.Send(DiscoveryReply(1));
    ap.Send(DiscoveryReply(2));
    ap.Send(CommandReply(0, Mac(3)));
    ui.Advance(5000);
    ap.Send(DetailReply(1));
    ap.Send(CommandReply(0));
    ui.Advance(10);

    const int rounds = 250;
    AllocationCount count;
    for (int i = 0; i < rounds; ++i) {
        // A live round: the registry keeps its devices and updates them.
        discovery().BeginDiscovery();
        ap.Send(DiscoveryReply(static_cast<std::uint8_t>(1 + i % 2)));
        ap.Send(EncodeDatagram(TypeQuery, Mac(0), "", "", {"flash get SSID"}));
        ap.Send(CommandReply(0, Mac(3))); // a row too while discovering
        ui.Advance(1);
        discovery().ReturnToIdle();
        ap.Send(DiscoveryReply(2));
        ap.Send(DetailReply(1));
        ap.Send(CommandReply(0, Mac(2)));
        ui.Advance(1);
    }
    EXPECT_EQ(count.Stop(), 0) << "allocations on the receive thread for " << rounds * 6 << " datagrams";
    EXPECT_EQ(listener.Texts(), std::vector<std::string>{"ended 3"});
    EXPECT_EQ(listener.Rows().size(), 3u);

    // The counter sees the receive thread: a new device's record allocates.
    AllocationCount rows;
    discovery().BeginDiscovery();
    ap.Send(DiscoveryReply(9));
    ui.Advance(1);
    EXPECT_GT(rows.Stop(), 0);
}

} // namespace
} // namespace pemblor::test
