// The conversation's receive path allocates nothing per datagram, in every
// state: allocations on threads other than the test's own are counted.
#include "ConversationFixture.h"
#include "tests/support/AllocationCounter.h"

namespace pemblor::test {
namespace {

TEST_F(ConversationTest, ReceivePathAllocatesNothingPerDatagram)
{
    Open();
    listener.recordRows = false;
    // Warm-up: the first datagram of each kind may set up what lasts.
    Discover();
    ap.Send(DiscoveryReply(1));
    ui.Advance(5000);
    ap.Send(DetailReply(1));
    ap.Send(CommandReply(0));
    ui.Advance(10);

    const int rounds = 250;
    AllocationCount count;
    for (int i = 0; i < rounds; ++i) {
        conversation->BeginDiscovery();
        ap.Send(DiscoveryReply(static_cast<std::uint8_t>(i)));
        ap.Send(EncodeDatagram(TypeQuery, Mac(0), "", "", {"flash get SSID"}));
        ap.Send(CommandReply(0)); // a row too while discovering
        ui.Advance(1);
        conversation->ReturnToIdle();
        ap.Send(DiscoveryReply(2));
        ap.Send(DetailReply(1));
        ap.Send(CommandReply(0, Mac(2)));
        ui.Advance(1);
    }
    EXPECT_EQ(count.Stop(), 0) << "allocations on the receive thread for " << rounds * 6 << " datagrams";
    EXPECT_EQ(listener.events.size(), 1u);

    // The counter sees the receive thread: keeping rows does allocate.
    listener.recordRows = true;
    AllocationCount rows;
    conversation->BeginDiscovery();
    ap.Send(DiscoveryReply(9));
    ui.Advance(1);
    EXPECT_GT(rows.Stop(), 0);
}

} // namespace
} // namespace pemblor::test
