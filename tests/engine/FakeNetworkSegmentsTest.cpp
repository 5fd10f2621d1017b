// The fake LAN with several segments: a computer with two interfaces, access
// points behind each, a firewall, interfaces that come and go.
#include "tests/fakenet/FakeInterfaceList.h"
#include "tests/fakenet/FakeNetwork.h"
#include "protocol/DatagramType.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

using namespace pemblor;

namespace {

constexpr const char* Tool = "198.18.1.1"; // eth0 on "one"; eth1 198.18.2.1 on "two"
constexpr const char* ApOne = "198.18.1.10";
constexpr const char* ApTwo = "198.18.2.10";

struct Arrival {
    std::string text;
    std::string from;
    unsigned interfaceIndex = 0;
};

class FakeSegmentsTest : public ::testing::Test {
protected:
    FakeSegmentsTest()
    {
        eth0 = net.AddHost(Tool, "one");
        eth1 = net.AddInterface(Tool, "eth1", "198.18.2.1", "two", "255.255.255.0");
        apOneIface = net.AddHost(ApOne, "one");
        apTwoIface = net.AddHost(ApTwo, "two");
        tool = net.NewLayer(Tool);
        apOne = net.NewLayer(ApOne);
        apTwo = net.NewLayer(ApTwo);
        toolPort = Bound(*tool, DevicePort);
        onePort = Bound(*apOne, DevicePort);
        twoPort = Bound(*apTwo, DevicePort);
        sender = Bound(*tool, 0);
        EXPECT_TRUE(sender->SetBroadcast());
    }

    static std::unique_ptr<ISocket> Bound(FakeSocketLayer& layer, std::uint16_t port)
    {
        auto socket = layer.Open();
        EXPECT_TRUE(socket && socket->Bind(port));
        return socket;
    }

    // Everything queued for `socket`, read up to a marker sent over loopback.
    std::vector<Arrival> Drain(FakeSocketLayer& layer, ISocket& socket)
    {
        auto marker = layer.Open();
        EXPECT_EQ(marker->SendTo("end", 3, DevicePort, "127.0.0.1"), 3);
        std::vector<Arrival> arrivals;
        for (;;) {
            char buffer[64] = {};
            PeerAddress from;
            std::uint16_t fromPort = 0;
            const int count = socket.ReceiveFrom(buffer, sizeof buffer, from, fromPort);
            if (count < 0 || std::string(buffer, static_cast<std::size_t>(count)) == "end")
                return arrivals;
            arrivals.push_back({std::string(buffer, static_cast<std::size_t>(count)), from.text, from.interfaceIndex});
        }
    }

    FakeNetwork net;
    unsigned eth0 = 0, eth1 = 0, apOneIface = 0, apTwoIface = 0;
    std::unique_ptr<FakeSocketLayer> tool, apOne, apTwo;
    std::unique_ptr<ISocket> toolPort, onePort, twoPort, sender;
};

bool operator==(const Arrival& a, const Arrival& b)
{
    return a.text == b.text && a.from == b.from && a.interfaceIndex == b.interfaceIndex;
}

void PrintTo(const Arrival& a, std::ostream* out)
{
    *out << a.text << " from " << a.from << " on " << a.interfaceIndex;
}

TEST_F(FakeSegmentsTest, ABroadcastReachesOnlyTheSegmentOfItsInterface)
{
    struct Case {
        const char* name;
        bool outOfEth1; // else eth0; 0 for "the routes choose"
        bool chosen;
        std::vector<Arrival> atTool, atOne, atTwo;
    };
    const std::vector<Case> cases = {
        {"out of eth0", false, true, {{"q", "198.18.1.1", eth0}}, {{"q", "198.18.1.1", apOneIface}}, {}},
        {"out of eth1", true, true, {{"q", "198.18.2.1", eth1}}, {}, {{"q", "198.18.2.1", apTwoIface}}},
        {"routes choose: the first interface", false, false, {{"q", "198.18.1.1", eth0}},
         {{"q", "198.18.1.1", apOneIface}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int sent = c.chosen ? sender->SendOutOf(c.outOfEth1 ? eth1 : eth0, "q", 1, DevicePort, BroadcastAddress)
                                  : sender->SendTo("q", 1, DevicePort, BroadcastAddress);
        ASSERT_EQ(sent, 1);
        EXPECT_EQ(Drain(*tool, *toolPort), c.atTool);
        EXPECT_EQ(Drain(*apOne, *onePort), c.atOne);
        EXPECT_EQ(Drain(*apTwo, *twoPort), c.atTwo);
    }
    std::vector<std::string> leftBy;
    for (const auto& datagram : net.SentLog())
        if (datagram.toHost == BroadcastAddress)
            leftBy.push_back(datagram.interfaceName);
    EXPECT_EQ(leftBy, (std::vector<std::string>{"eth0", "eth1", "eth0"}));
}

TEST_F(FakeSegmentsTest, AReplyArrivesOnTheInterfaceThatHasTheAddress)
{
    auto reply = apTwo->Open();
    ASSERT_EQ(reply->SendTo("r", 1, DevicePort, "198.18.2.1"), 1);
    EXPECT_EQ(Drain(*tool, *toolPort), (std::vector<Arrival>{{"r", ApTwo, eth1}}));
    // A chosen interface does not reach a host on another segment.
    ASSERT_EQ(sender->SendOutOf(eth0, "u", 1, DevicePort, ApTwo), 1);
    EXPECT_TRUE(Drain(*apTwo, *twoPort).empty());
}

TEST_F(FakeSegmentsTest, DownOrUnknownInterfacesFailAndLeaveTheList)
{
    auto list = net.InterfaceList(Tool);
    std::vector<NetworkInterface> usable;
    ASSERT_TRUE(list->Usable(usable));
    ASSERT_EQ(usable.size(), 2u);
    EXPECT_EQ(usable[1].name, "eth1");
    EXPECT_EQ(usable[1].index, eth1);
    EXPECT_EQ(SubnetText(usable[1]), "198.18.2.0/24");

    net.SetInterfaceUp(Tool, "eth1", false);
    ASSERT_TRUE(list->Usable(usable));
    ASSERT_EQ(usable.size(), 1u);
    EXPECT_LT(sender->SendOutOf(eth1, "q", 1, DevicePort, BroadcastAddress), 0);
    EXPECT_EQ(tool->LastError(), ENODEV);
    EXPECT_LT(sender->SendOutOf(999, "q", 1, DevicePort, BroadcastAddress), 0);
    EXPECT_EQ(tool->LastError(), ENODEV);

    net.SetInterfaceUp(Tool, "eth0", false);
    EXPECT_LT(sender->SendTo("q", 1, DevicePort, BroadcastAddress), 0);
    EXPECT_EQ(tool->LastError(), ENETUNREACH);

    static_cast<FakeInterfaceList&>(*list).FailNext(ENOMEM);
    EXPECT_FALSE(list->Usable(usable));
    EXPECT_EQ(list->LastError(), ENOMEM);
}

TEST_F(FakeSegmentsTest, AFirewallDropsInboundButNotLoopback)
{
    net.DropInbound(Tool, DevicePort);
    ASSERT_EQ(sender->SendOutOf(eth1, "q", 1, DevicePort, BroadcastAddress), 1);
    auto reply = apOne->Open();
    ASSERT_EQ(reply->SendTo("r", 1, DevicePort, Tool), 1);
    // Only the marker, over loopback, gets through.
    EXPECT_TRUE(Drain(*tool, *toolPort).empty());
    EXPECT_EQ(Drain(*apTwo, *twoPort).size(), 1u) << "what leaves is not affected";

    net.DropInbound(Tool, DevicePort, false);
    ASSERT_EQ(reply->SendTo("r", 1, DevicePort, Tool), 1);
    EXPECT_EQ(Drain(*tool, *toolPort).size(), 1u);
}

TEST(NetworkInterfaceText, ParsesOnlyStrictDottedDecimal)
{
    struct Case {
        const char* text;
        bool ok;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"198.18.1.1", true, 0xC6120101u}, {"0.0.0.0", true, 0},         {"255.255.255.255", true, 0xFFFFFFFFu},
        {"256.1.1.1", false, 0},           {"1.2.3", false, 0},          {"1.2.3.4.5", false, 0},
        {"1.2.3.4 ", false, 0},            {"", false, 0},               {"1..3.4", false, 0},
        {"-1.2.3.4", false, 0},            {"0001.2.3.4", false, 0},     {"a.b.c.d", false, 0},
    };
    for (const Case& c : cases) {
        std::uint32_t value = 7;
        EXPECT_EQ(ParseIpv4(c.text, value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
            EXPECT_EQ(FormatIpv4(value), c.text);
        }
    }
    std::uint32_t untouched = 7;
    EXPECT_FALSE(ParseIpv4(nullptr, untouched));

    NetworkInterface wide{"wg0", 3, 0x0A000005u, 0xFFFF0000u};
    EXPECT_EQ(SubnetText(wide), "10.0.0.0/16");
    EXPECT_TRUE(wide.Contains(0x0A00FFFEu));
    EXPECT_FALSE(wide.Contains(0x0A010001u));
}

} // namespace
