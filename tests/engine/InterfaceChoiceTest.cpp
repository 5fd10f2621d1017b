// The interfaces the tool sends on (with or without addresses, never without
// a link or enslaved), all their networks on the credentials' route, and the
// kernel's reverse-path counter and settings as read from /proc.
#include "engine/CredentialRoute.h"
#include "engine/IInterfaceList.h"
#include "engine/ProcReversePathFilter.h"

#include <gtest/gtest.h>
#include <net/if.h>

#include <filesystem>
#include <fstream>

using namespace pemblor;

namespace {

constexpr unsigned Up = IFF_UP | IFF_BROADCAST | IFF_RUNNING;
const Ipv4Network Office{0xC6120101u, 0xFFFFFF00u};  // 198.18.1.1/24
const Ipv4Network Factory{0xC0A80164u, 0xFFFFFF00u}; // 192.168.1.100/24

TEST(InterfaceChoiceTest, TakesEveryLinkedInterfaceWithAllItsAddressesAndNoEnslavedOne)
{
    const std::vector<InterfaceEntry> entries = {
        {"lo", 1, Up | IFF_LOOPBACK, false, {{0x7F000001u, 0xFF000000u}}},
        {"eth0", 2, Up, false, {}},
        {"eth1", 3, Up, false, {Office}},
        {"eth1", 3, Up, false, {Factory}},
        {"eth1", 3, Up, false, {Office}},
        {"eth2", 4, IFF_UP | IFF_BROADCAST, false, {Office}},
        {"eth2", 4, IFF_UP | IFF_BROADCAST, false, {}},
        {"eth3", 5, Up, true, {}},
        {"eth4", 6, Up | IFF_SLAVE, false, {}},
        {"wg0", 7, IFF_UP | IFF_RUNNING, false, {Office}},
        {"eth5", 8, IFF_BROADCAST | IFF_RUNNING, false, {}},
        {"gone", 0, Up, false, {}},
    };
    const InterfaceChoice choice = ChooseInterfaces(entries);
    ASSERT_EQ(choice.usable.size(), 2u);
    EXPECT_EQ(choice.usable[0].name, "eth0");
    EXPECT_FALSE(choice.usable[0].HasAddress());
    EXPECT_TRUE(choice.usable[0].Networks().empty());
    EXPECT_FALSE(choice.usable[0].Contains(0)) << "no address holds no host, not even 0.0.0.0";
    EXPECT_EQ(choice.usable[1].name, "eth1");
    EXPECT_EQ(choice.usable[1].Networks(), (std::vector<Ipv4Network>{Office, Factory}));
    EXPECT_TRUE(choice.usable[1].Contains(0xC0A80101u));
    EXPECT_EQ(SubnetText(choice.usable[1]), "198.18.1.0/24, 192.168.1.0/24");
    EXPECT_EQ(OwnAddresses(choice.usable), (std::vector<std::uint32_t>{Office.address, Factory.address}));
    EXPECT_EQ(choice.withoutLink, std::vector<std::string>{"eth2"});
}

TEST(InterfaceChoiceTest, PasswordGoesByUnicastWhenAnyNetworkOfTheInterfaceHoldsTheDevice)
{
    NetworkInterface both{"eth1", 3, Office.address, Office.netmask, {Factory}};
    NetworkInterface bare{"eth1", 3};
    struct Case {
        const char* address;
        const NetworkInterface* on;
        BroadcastReason reason;
    };
    const Case cases[] = {
        {"192.168.1.1", &both, BroadcastReason::None},
        {"192.168.1.255", &both, BroadcastReason::OutsideNetwork},
        {"10.1.1.1", &both, BroadcastReason::OutsideNetwork},
        {"192.168.1.1", &bare, BroadcastReason::OutsideNetwork},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(RouteBeforeQuery(c.address, c.on, false).reason, c.reason);
    }
}

TEST(ReversePathTest, ReadsTheCounterAndTheLargerOfBothSettings)
{
    const std::filesystem::path proc = std::filesystem::path(testing::TempDir()) / "rp-proc";
    std::filesystem::create_directories(proc / "net");
    for (const char* name : {"all", "eth0", "eth1"})
        std::filesystem::create_directories(proc / "sys/net/ipv4/conf" / name);
    std::ofstream(proc / "net/netstat") << "TcpExt: SyncookiesSent IPReversePathFilter TCPTimeouts\n"
                                           "TcpExt: 0 17 4\n"
                                           "IpExt: InNoRoutes\nIpExt: 9\n";
    std::ofstream(proc / "sys/net/ipv4/conf/all/rp_filter") << "1\n";
    std::ofstream(proc / "sys/net/ipv4/conf/eth0/rp_filter") << "0\n";
    std::ofstream(proc / "sys/net/ipv4/conf/eth1/rp_filter") << "2\n";
    ProcReversePathFilter filter(proc.string());
    EXPECT_EQ(filter.Drops(), 17u);
    EXPECT_EQ(filter.Mode("eth0"), 1);
    EXPECT_EQ(filter.Mode("eth1"), 2);
    EXPECT_EQ(ProcReversePathFilter((proc / "none").string()).Drops(), std::nullopt);
}

} // namespace
