// Telling a blocked computer from a silent network by the tool's own query.
#include "engine/DiscoveryWatch.h"
#include "engine/InterfaceSet.h"
#include "tests/fakenet/FakeNetwork.h"

#include <gtest/gtest.h>

using namespace pemblor;

namespace {

const NetworkInterface Eth0{"eth0", 2, 0xC6120101u, 0xFFFFFF00u};
const NetworkInterface Eth1{"eth1", 3, 0xC6120201u, 0xFFFFFF00u};

TEST(DiscoveryWatchTest, DiagnosesFromWhatWasSentAndHeardPerInterface)
{
    struct Case {
        const char* name;
        bool listed;
        std::vector<NetworkInterface> interfaces;
        std::vector<unsigned> sent, heard;
        SilenceCause cause;
        std::vector<std::string> named;
    };
    const Case cases[] = {
        {"not listed", false, {}, {}, {}, SilenceCause::Unknown, {}},
        {"no interface", true, {}, {}, {}, SilenceCause::NoInterface, {}},
        {"every send failed", true, {Eth0, Eth1}, {}, {}, SilenceCause::Unknown, {}},
        {"heard on both", true, {Eth0, Eth1}, {2, 3}, {3, 2}, SilenceCause::NobodyAnswered, {"eth0", "eth1"}},
        {"heard on none", true, {Eth0, Eth1}, {2, 3}, {}, SilenceCause::InboundBlocked, {"eth0", "eth1"}},
        {"blocked on one", true, {Eth0, Eth1}, {2, 3}, {2}, SilenceCause::InboundBlocked, {"eth1"}},
        {"failed send is not blamed", true, {Eth0, Eth1}, {3}, {3}, SilenceCause::NobodyAnswered, {"eth1"}},
        {"echo on an unknown interface", true, {Eth0}, {2}, {9}, SilenceCause::InboundBlocked, {"eth0"}},
    };
    DiscoveryWatch watch;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        watch.Begin(c.interfaces, c.listed);
        for (unsigned index : c.sent)
            watch.Sent(index);
        for (unsigned index : c.heard)
            watch.Heard(index);
        const SilenceDiagnosis diagnosis = watch.Diagnose();
        EXPECT_EQ(diagnosis.cause, c.cause);
        EXPECT_EQ(diagnosis.interfaces, c.named);
    }
}

TEST(InterfaceSetTest, FollowsTheInterfacesAtEachRefresh)
{
    FakeNetwork net;
    net.AddHost("198.18.1.1", "one");
    auto list = net.InterfaceList("198.18.1.1");
    InterfaceSet set(*list);
    ASSERT_TRUE(set.Refresh());
    EXPECT_EQ(set.All().size(), 1u);
    const unsigned eth1 = net.AddInterface("198.18.1.1", "eth1", "198.18.2.1", "two");
    EXPECT_FALSE(set.ByIndex(eth1)) << "not before the next refresh";
    ASSERT_TRUE(set.Refresh());
    ASSERT_TRUE(set.ByIndex(eth1));
    EXPECT_EQ(set.ByName("eth1")->index, eth1);
    net.SetInterfaceUp("198.18.1.1", "eth0", false);
    ASSERT_TRUE(set.Refresh());
    EXPECT_FALSE(set.ByName("eth0"));
}

} // namespace
