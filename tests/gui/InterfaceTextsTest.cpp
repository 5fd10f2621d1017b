// The texts the device list shows about interfaces: the diagnosis under
// "Find no devices!", a failed send per interface, the subnet warning.
#include "common/InterfaceTexts.h"

#include <gtest/gtest.h>

using namespace pemblor;

namespace {

const NetworkInterface Eth1{"eth1", 3, 0xC6120101u, 0xFFFFFF00u}; // 198.18.1.1/24

TEST(InterfaceTextsTest, DiagnosisGoesBelowTheUnchangedFirstLine)
{
    struct Case {
        SilenceDiagnosis diagnosis;
        std::vector<std::string> mustHold;
    };
    const Case cases[] = {
        {{SilenceCause::Unknown, {}}, {}},
        {{SilenceCause::NoInterface, {}}, {"No usable network interface", "up with a link and broadcast"}},
        {{SilenceCause::InboundBlocked, {"eth0", "eth1"}},
         {"Inbound UDP 21212 is blocked on this computer", "sent on eth0 and eth1", "host firewall",
          "sudo ufw allow 21212/udp", "nft add rule inet filter input udp dport 21212 accept"}},
        {{SilenceCause::NobodyAnswered, {"eth0", "eth1", "wg0"}},
         {"Nobody answered", "sent and heard on eth0, eth1 and wg0", "one of these network segments",
          "agent runs"}},
        {{SilenceCause::NobodyAnswered, {"eth0"}}, {"heard on eth0, but", "on this network segment"}},
    };
    for (const Case& c : cases) {
        const std::string text = FindNoDevicesText(c.diagnosis);
        if (c.mustHold.empty()) {
            EXPECT_EQ(text, "Find no devices!");
            continue;
        }
        EXPECT_EQ(text.substr(0, 18), "Find no devices!\n\n") << text;
        for (const std::string& part : c.mustHold)
            EXPECT_NE(text.find(part), std::string::npos) << "missing \"" << part << "\" in " << text;
    }
}

TEST(InterfaceTextsTest, SendFailureKeepsTheOriginalTextAndNamesTheInterface)
{
    EXPECT_EQ(SendFailureText("skSend.SendTo: %d\n", 19, "eth1"), "skSend.SendTo: 19 (eth1)\n");
    EXPECT_EQ(SendFailureText("m_skSend.SendTo Error(%d)", 101, "wg0"), "m_skSend.SendTo Error(101) (wg0)");
}

TEST(InterfaceTextsTest, OnlyAnAddressOutsideTheInterfaceNetworkIsWarnedAbout)
{
    struct Case {
        const char* address;
        bool warned;
    };
    const Case cases[] = {
        {"198.18.1.77", false}, {"198.18.1.0", false}, {"198.18.1.255", false}, {"198.18.2.1", true},
        {"10.0.0.5", true},     {"", false},           {"not an address", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OutsideSubnetReason(c.address, Eth1).has_value(), c.warned) << c.address;

    EXPECT_EQ(OpenAnywayQuestion("10.0.0.5", Eth1),
              "This device's address 10.0.0.5 is outside this computer's network 198.18.1.0/24 on eth1, so its "
              "page will probably not open. Use Setup IP to move it into that network. Open anyway?");
}

} // namespace
