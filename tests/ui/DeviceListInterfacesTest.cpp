// The device list on a computer with two interfaces: the tool host of the
// harness has eth0 on the harness's segment and eth1 on segment "two".
#include "protocol/ReplyDatagram.h"
#include "tests/support/DeviceListHarness.h"
#include "common/InterfaceTexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

namespace pemblor {
namespace {

constexpr const char* Eth1Address = "198.18.2.1";
const std::string BehindEth0 = DeviceListHarness::ApHost(0); // 198.18.0.10
const std::string BehindEth1 = "198.18.2.10";
const std::string Outside = "198.18.9.9"; // behind eth1, outside its /24

class InterfacesTest : public ::testing::Test {
protected:
    InterfacesTest()
    {
        h.net.AddInterface(DeviceListHarness::ToolHost, "eth1", Eth1Address, "two");
        h.AddStandardAccessPoint(0);
    }
    FakeAccessPoint& AddBehindEth1(const std::string& host, int index)
    {
        h.net.AddHost(host, "two");
        return h.AddAccessPoint(
            FakeAccessPoint::Standard(host, DeviceListHarness::ApMac(index), "ap" + std::to_string(index)), host);
    }
    // The interfaces each sent datagram of `type` left by.
    std::vector<std::string> LeftBy(std::uint32_t type) const
    {
        std::vector<std::string> names;
        for (const auto& sent : h.net.SentLog()) {
            if (ReplyDatagram(sent.bytes.data(), sent.bytes.size(), "").type() == type &&
                sent.toHost == BroadcastAddress)
                names.push_back(sent.interfaceName);
        }
        return names;
    }

    DeviceListHarness h;
};

TEST_F(InterfacesTest, DiscoveryGoesOutOfEveryInterfaceAndRowsTellWhereTheyAnswered)
{
    AddBehindEth1(BehindEth1, 1);
    // The same device on both segments is one row, on the first interface it
    // answered on.
    h.net.AddHost("198.18.2.11", "two");
    h.AddAccessPoint(FakeAccessPoint::Standard("198.18.2.11", DeviceListHarness::ApMac(0), "twin"), "198.18.2.11");
    h.Open();
    h.Discover(6000);

    EXPECT_EQ(LeftBy(TypeQuery), (std::vector<std::string>{"eth0", "eth1"}));
    std::vector<std::vector<std::uint8_t>> bytes;
    for (const auto& sent : h.net.SentLog()) {
        if (sent.toHost == BroadcastAddress)
            bytes.push_back(sent.bytes);
    }
    ASSERT_EQ(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], bytes[1]) << "the same bytes out of each interface";

    // Each row names the interface its device's address sits behind.
    ASSERT_EQ(h.Rows().size(), 2u) << "one row per MAC";
    for (std::size_t row = 0; row < h.Rows().size(); ++row) {
        const std::string address = h.Rows()[row][2];
        EXPECT_EQ(h.Interfaces()[row], address.starts_with("198.18.2.") ? "eth1" : "eth0") << address;
    }
    EXPECT_TRUE(h.ui.Messages().empty());
}

TEST_F(InterfacesTest, AFailedSendOnOneInterfaceNamesItAndTheOthersStillGo)
{
    AddBehindEth1(BehindEth1, 1);
    h.Open();
    h.tool->InjectFailure(FakeOp::Send, ENETUNREACH); // the first send: eth0's
    h.Discover(6000);
    EXPECT_EQ(h.ui.MessageTexts(), std::vector<std::string>{"skSend.SendTo: " + std::to_string(ENETUNREACH) + " (eth0)\n"});
    EXPECT_EQ(LeftBy(TypeQuery), std::vector<std::string>{"eth1"});
    EXPECT_EQ(h.Interfaces(), std::vector<std::string>{"eth1"});
}

TEST_F(InterfacesTest, ADeviceOutsideItsInterfaceNetworkIsWarnedAndAsksBeforeItsPage)
{
    AddBehindEth1(Outside, 1);
    h.Open();
    h.Discover(6000);
    ASSERT_EQ(h.Rows().size(), 2u);
    const int outside = h.Rows()[0][2] == Outside ? 0 : 1;
    const int inside = 1 - outside;
    const auto& warnings = h.List().Warnings();
    EXPECT_EQ(warnings[inside].column, -1);
    EXPECT_EQ(warnings[outside].column, 2);
    EXPECT_NE(warnings[outside].reason.find("outside this computer's network 198.18.2.0/24 on eth1"), std::string::npos)
        << warnings[outside].reason;

    // Connect to Web Server and the context menu ask; Cancel opens nothing.
    h.window->ClickList(IDC_LIST_DEVICES, outside);
    h.ui.AnswerNextMessage(IdCancel);
    h.window->Click(IDC_BTN_WEBSERVER);
    EXPECT_TRUE(h.ui.OpenedUrls().empty());
    ASSERT_EQ(h.ui.Messages().size(), 1u);
    EXPECT_EQ(h.ui.Messages()[0].text.substr(0, 40), "This device's address 198.18.9.9 is outs");
    EXPECT_TRUE(h.ui.Messages()[0].text.ends_with("Open anyway?"));
    h.ui.AnswerNextMessage(IdOk);
    h.ui.AnswerNextPopup(ID_CONNECT_WEB);
    h.window->RightClickList(IDC_LIST_DEVICES, outside);
    EXPECT_EQ(h.ui.OpenedUrls(), std::vector<std::string>{"http://" + Outside});
    EXPECT_EQ(h.ui.Messages().size(), 2u);

    // A row inside its network opens without a question.
    h.window->ClickList(IDC_LIST_DEVICES, inside);
    h.window->Click(IDC_BTN_WEBSERVER);
    EXPECT_EQ(h.ui.OpenedUrls().back(), "http://" + BehindEth0);
    EXPECT_EQ(h.ui.Messages().size(), 2u);
}

TEST_F(InterfacesTest, ADeviceIsAskedOnlyOutOfItsInterfaceAndTheStopLeavesByAll)
{
    FakeAccessPoint& behind = AddBehindEth1(BehindEth1, 1);
    h.Open();
    h.Discover(6000);
    const int row = h.Rows()[0][2] == BehindEth1 ? 0 : 1;
    h.window->ClickList(IDC_LIST_DEVICES, row);
    h.ui.After(1000, [&] { h.ui.TopWindow()->Click(IDCANCEL); });
    h.window->Click(IDC_BTN_SETUPIP);
    EXPECT_FALSE(behind.Requests().empty());
    // The detail query is a query with the device's MAC: eth1 only.
    EXPECT_EQ(LeftBy(TypeQuery), (std::vector<std::string>{"eth0", "eth1", "eth1"}));

    h.window->Click(IDCANCEL);
    EXPECT_EQ(LeftBy(TypeStop), (std::vector<std::string>{"eth0", "eth1"}));
}

TEST_F(InterfacesTest, EachDiagnosisAppearsWhenItsCauseIsThere)
{
    h.Open();
    struct Case {
        const char* name;
        std::function<void()> arrange;
        SilenceDiagnosis expected;
    };
    const std::vector<Case> cases = {
        {"silent segments", [&] { h.accessPoints.clear(); },
         {SilenceCause::NobodyAnswered, {"eth0", "eth1"}}},
        {"firewall", [&] { h.net.DropInbound(DeviceListHarness::ToolHost, DevicePort); },
         {SilenceCause::InboundBlocked, {"eth0", "eth1"}}},
        {"firewall open again, eth1 unplugged",
         [&] {
             h.net.DropInbound(DeviceListHarness::ToolHost, DevicePort, false);
             h.net.SetInterfaceUp(DeviceListHarness::ToolHost, "eth1", false);
         },
         {SilenceCause::NobodyAnswered, {"eth0"}}},
        {"no interface", [&] { h.net.SetInterfaceUp(DeviceListHarness::ToolHost, "eth0", false); },
         {SilenceCause::NoInterface, {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        h.ui.ClearMessages();
        h.Discover(5000);
        EXPECT_EQ(h.ui.MessageTexts(), std::vector<std::string>{FindNoDevicesText(c.expected)});
    }
    // An interface that comes back is used by the next Discover.
    h.net.SetInterfaceUp(DeviceListHarness::ToolHost, "eth1", true);
    AddBehindEth1(BehindEth1, 1);
    h.ui.ClearMessages();
    h.Discover(5000);
    EXPECT_EQ(h.Interfaces(), std::vector<std::string>{"eth1"});
    EXPECT_TRUE(h.ui.Messages().empty());
}

} // namespace
} // namespace pemblor
