#include "tests/support/DeviceListHarness.h"
#include "common/InterfaceTexts.h"

#include "engine/fake/FakeNetwork.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace pemblor {

// Readable parameters in test names and failures.
void PrintTo(RowStrategy strategy, std::ostream* os)
{
    *os << (strategy == RowStrategy::Batched ? "Batched" : "LiteralScan");
}

namespace {

using Rows = std::vector<std::vector<std::string>>;

const std::string Mac0 = "02:00:00:00:00:01";
const std::string Mac1 = "02:00:00:00:00:02";
const std::string Host0 = "198.18.0.10";
const std::string Host1 = "198.18.0.11";

std::string StrategyName(const testing::TestParamInfo<RowStrategy>& info)
{
    return info.param == RowStrategy::Batched ? "Batched" : "LiteralScan";
}

class DiscoveryTest : public testing::TestWithParam<RowStrategy> {
protected:
    DeviceListHarness h{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Strategies, DiscoveryTest, testing::Values(RowStrategy::Batched),
                         StrategyName);

TEST_P(DiscoveryTest, RepliesBecomeRowsOncePerDeviceWithTheSenderAddress)
{
    auto twice = FakeAccessPoint::Standard(Host0, DeviceListHarness::ApMac(0), "ap0");
    twice.discoveryReplies = 2;
    h.AddAccessPoint(twice, Host0);
    auto elsewhere = FakeAccessPoint::Standard(Host1, DeviceListHarness::ApMac(1), "ap1");
    elsewhere.discoveryEntries[1] = "IP_ADDR=10.9.9.9";
    elsewhere.discoveryDelay = 200;
    h.AddAccessPoint(elsewhere, Host1);
    h.Open();

    h.Discover(6000);

    EXPECT_EQ(h.Rows(), (Rows{{"1", "ap0", Host0, "255.255.255.0", "6", Mac0},
                              {"2", "ap1", Host1, "255.255.255.0", "6", Mac1}}));
    EXPECT_EQ(h.dialog->GetSession().discovery().DeviceCount(), 2);
    EXPECT_TRUE(h.ui.Messages().empty());
}

TEST_P(DiscoveryTest, NewDiscoverRenumbersAndListsEarlierDevicesAgain)
{
    FakeAccessPoint& ap0 = h.AddStandardAccessPoint(0);
    FakeAccessPoint& ap1 = h.AddStandardAccessPoint(1);
    auto late = ap1.GetProfile();
    late.discoveryDelay = 200;
    ap1.SetProfile(late);
    h.Open();

    h.Discover(6000);
    ASSERT_EQ(h.Rows().size(), 2u);

    auto silent = ap0.GetProfile();
    silent.answerDiscovery = false;
    ap0.SetProfile(silent);
    h.Discover(6000);
    EXPECT_EQ(h.Rows(), (Rows{{"1", "ap1", Host1, "255.255.255.0", "6", Mac1}}));

    auto last = ap0.GetProfile();
    last.answerDiscovery = true;
    last.discoveryDelay = 300;
    ap0.SetProfile(last);
    h.Discover(6000);
    EXPECT_EQ(h.Rows(), (Rows{{"1", "ap1", Host1, "255.255.255.0", "6", Mac1},
                              {"2", "ap0", Host0, "255.255.255.0", "6", Mac0}}));
}

// One device, replying twice in one cycle with the entries given.
struct RowShape {
    const char* name;
    std::vector<std::string> entries;
    int entryCountField; // -1: the number of entries
    Rows expected;
};

void PrintTo(const RowShape& shape, std::ostream* os)
{
    *os << shape.name;
}

class RowShapeTest : public testing::TestWithParam<std::tuple<RowStrategy, RowShape>> {};

TEST_P(RowShapeTest, RowFollowsTheEntriesByPosition)
{
    const auto& [strategy, shape] = GetParam();
    DeviceListHarness h(strategy);
    auto profile = FakeAccessPoint::Standard(Host0, DeviceListHarness::ApMac(0));
    profile.discoveryEntries = shape.entries;
    profile.discoveryEntryCountField = shape.entryCountField;
    profile.discoveryReplies = 2;
    h.AddAccessPoint(profile, Host0);
    h.Open();

    h.Discover(1000);

    EXPECT_EQ(h.Rows(), shape.expected);
}

const RowShape kRowShapes[] = {
    {"OutOfOrder",
     {"CHANNEL=11", "SSID=\"my lab\"", "CURRENT_SUBNET_MASK=255.0.0.0", "IP_ADDR=1.2.3.4"},
     -1,
     {{"1", "11", "my lab", "255.0.0.0", Host0, Mac0}}},
    // The MAC text stands in column 4 and the MAC Address column stays
    // empty; the second reply is still recognised by the MAC in its header.
    {"ThreeEntries",
     {"SSID=a", "IP_ADDR=1.1.1.1", "CURRENT_SUBNET_MASK=255.255.0.0"},
     -1,
     {{"1", "a", Host0, "255.255.0.0", Mac0, ""}}},
    // The MAC text has no column; the fifth entry shows there.
    {"FiveEntries",
     {"SSID=a", "IP_ADDR=1.1.1.1", "CURRENT_SUBNET_MASK=m", "CHANNEL=3", "EXTRA=e"},
     -1,
     {{"1", "a", Host0, "m", "3", "e"}}},
    {"SixEntries",
     {"SSID=a", "X=b", "Y=c", "Z=d", "E5=five", "E6=six"},
     -1,
     {{"1", "a", "b", "c", "d", "five"}}},
    {"NoEntries", {}, -1, {{"1", Mac0, "", "", "", ""}}},
    // The header promises four entries, two arrive: the MAC text still goes
    // where four entries put it, and the device is recognised.
    {"CountBeyondTheDatagram", {"SSID=a", "IP_ADDR=1.1.1.1"}, 4, {{"1", "a", Host0, "", "", Mac0}}},
};

std::string ShapeName(const testing::TestParamInfo<std::tuple<RowStrategy, RowShape>>& info)
{
    return std::string(std::get<1>(info.param).name) +
           (std::get<0>(info.param) == RowStrategy::Batched ? "_Batched" : "_LiteralScan");
}

INSTANTIATE_TEST_SUITE_P(Shapes, RowShapeTest,
                         testing::Combine(testing::Values(RowStrategy::Batched),
                                          testing::ValuesIn(kRowShapes)),
                         ShapeName);

// Mixed traffic, two cycles.
Rows RunMixedTraffic()
{
    DeviceListHarness h;
    auto add = [&](int index, std::vector<std::string> entries, int replies) {
        auto profile = FakeAccessPoint::Standard(DeviceListHarness::ApHost(index), DeviceListHarness::ApMac(index),
                                                 "ap" + std::to_string(index));
        if (!entries.empty())
            profile.discoveryEntries = std::move(entries);
        profile.discoveryReplies = replies;
        profile.discoveryDelay = 100 * (index + 1);
        h.AddAccessPoint(profile, DeviceListHarness::ApHost(index));
    };
    add(0, {"SSID=zero", "IP_ADDR=10.0.0.1", "CURRENT_SUBNET_MASK=255.255.255.0", "CHANNEL=1"}, 2);
    add(1, {"SSID=one", "IP_ADDR=x", "CURRENT_SUBNET_MASK=255.0.0.0"}, 2);
    // Its fifth entry reads like the MAC text of device 4; devices are told
    // apart by the MAC in their header, so device 4 is listed all the same.
    add(2, {"SSID=two", "IP_ADDR=x", "CURRENT_SUBNET_MASK=m", "CHANNEL=2", "MAC=02:00:00:00:00:05"}, 1);
    add(3, {"CHANNEL=3", "IP_ADDR=x", "SSID=three", "CURRENT_SUBNET_MASK=m"}, 2);
    add(4, {}, 1);
    add(5, {"ONLY=one"}, 1);
    h.Open();

    h.Discover(6000);
    Rows rows = h.Rows();
    h.Discover(6000);
    const Rows second = h.Rows();
    rows.insert(rows.end(), second.begin(), second.end());
    return rows;
}

TEST(DiscoveryStrategiesTest, EachDeviceIsOneRowWhateverItsEntries)
{
    const Rows cycle{
        {"1", "zero", "198.18.0.10", "255.255.255.0", "1", "02:00:00:00:00:01"},
        // Three entries: the MAC text stands in column 4; the second reply
        // updates the row instead of adding one.
        {"2", "one", "198.18.0.11", "255.0.0.0", "02:00:00:00:00:02", ""},
        {"3", "two", "198.18.0.12", "m", "2", "02:00:00:00:00:05"},
        {"4", "3", "198.18.0.13", "three", "m", "02:00:00:00:00:04"},
        {"5", "ap4", "198.18.0.14", "255.255.255.0", "6", "02:00:00:00:00:05"},
        {"6", "one", "02:00:00:00:00:06", "", "", ""},
    };
    Rows expected = cycle;
    expected.insert(expected.end(), cycle.begin(), cycle.end());
    EXPECT_EQ(RunMixedTraffic(), expected);
}

TEST(DiscoveryStrategiesTest, BurstOfSimultaneousRepliesIsNumberedWithoutGapsOrDuplicates)
{
    constexpr int kDevices = 40;
    {
        DeviceListHarness h;
        for (int i = 0; i < kDevices; ++i) {
            auto profile = FakeAccessPoint::Standard(DeviceListHarness::ApHost(i), DeviceListHarness::ApMac(i));
            profile.discoveryReplies = 3;
            h.AddAccessPoint(profile, DeviceListHarness::ApHost(i));
        }
        h.Open();
        h.Discover(1000);

        const Rows rows = h.Rows();
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(kDevices));
        std::vector<std::string> macs;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i][0], std::to_string(i + 1));
            macs.push_back(rows[i][5]);
        }
        std::sort(macs.begin(), macs.end());
        EXPECT_EQ(std::unique(macs.begin(), macs.end()), macs.end());
        EXPECT_EQ(h.dialog->GetSession().discovery().DeviceCount(), kDevices);
    }
}

TEST(DiscoveryStrategiesTest, RowOfAnEarlierCycleStillOnItsWayIsNotListed)
{
    DeviceListHarness h(RowStrategy::Batched);
    auto profile = FakeAccessPoint::Standard(Host0, DeviceListHarness::ApMac(0), "ap0");
    profile.answerDiscovery = false;
    FakeAccessPoint& ap = h.AddAccessPoint(profile, Host0);
    h.Open();
    h.Discover();
    const Datagram reply = EncodeDatagram(1, DeviceListHarness::ApMac(0), "", "", {"SSID=old"});

    // The receive thread has taken the reply, but the user-interface thread
    // has not yet inserted its row when the next Discover is handled.
    ap.Send(reply, DeviceListHarness::ToolHost);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (h.dialog->GetSession().discovery().DeviceCount() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(h.dialog->GetSession().discovery().DeviceCount(), 1);
    h.window->Handler().OnCommand(IDC_BTN_DISCOVER);
    h.ui.Advance(0);
    EXPECT_TRUE(h.Rows().empty());

    ap.Send(EncodeDatagram(1, DeviceListHarness::ApMac(0), "", "", {"SSID=new"}), DeviceListHarness::ToolHost);
    h.ui.Advance(0);
    EXPECT_EQ(h.Rows(), (Rows{{"1", "new", Mac0, "", "", ""}}));
}

TEST_P(DiscoveryTest, SilenceEndsTheCycleWithFindNoDevicesAfterFiveSeconds)
{
    h.Open();
    h.Discover(4999);
    EXPECT_TRUE(h.ui.Messages().empty());
    EXPECT_EQ(h.dialog->GetSession().discovery().State(), Discovering);
    EXPECT_FALSE(h.Enabled(IDC_BTN_DISCOVER));

    // The query went out of the tool host's one interface and came back
    // there: nobody answered.
    h.ui.Advance(1);
    ASSERT_EQ(h.ui.MessageTexts(),
              std::vector<std::string>{FindNoDevicesText({SilenceCause::NobodyAnswered, {"eth0"}})});
    EXPECT_EQ(h.ui.Messages()[0].text.substr(0, 17), "Find no devices!\n");
    EXPECT_EQ(h.ui.Messages()[0].ownerTemplate, IDD_DEVICELIST);
    EXPECT_EQ(h.dialog->GetSession().discovery().State(), Idle);
    EXPECT_TRUE(h.Enabled(IDC_BTN_DISCOVER));

    // The timer keeps ticking, but an idle discovery has nothing to end.
    h.ui.Advance(10000);
    EXPECT_EQ(h.ui.Messages().size(), 1u);
}

TEST_P(DiscoveryTest, FailedSendIsReportedAndAnEarlierTimerStillEndsTheCycle)
{
    h.Open();
    h.Discover(5000);
    h.ui.ClearMessages();

    h.ui.Advance(1000);
    h.tool->InjectFailure(FakeOp::Send, ENETUNREACH);
    h.Discover();
    EXPECT_EQ(h.ui.MessageTexts(),
              std::vector<std::string>{"skSend.SendTo: " + std::to_string(ENETUNREACH) + " (eth0)\n"});
    EXPECT_FALSE(h.Enabled(IDC_BTN_DISCOVER));

    h.ui.Advance(3999);
    EXPECT_EQ(h.ui.Messages().size(), 1u);
    h.ui.Advance(1);
    EXPECT_EQ(h.ui.MessageTexts().back(), "Find no devices!");
    EXPECT_TRUE(h.Enabled(IDC_BTN_DISCOVER));
}

TEST_P(DiscoveryTest, ReceiveThreadThatCannotStartIsReportedAndNothingIsSent)
{
    h.config.launchThread = [](std::thread&, std::function<void()>) { return false; };
    h.AddStandardAccessPoint(0);
    h.Open();
    h.Discover(20000);
    ASSERT_EQ(h.ui.MessageTexts(), std::vector<std::string>{"Cannot Create ServiceSocket Thread"});
    EXPECT_EQ(h.ui.Messages()[0].ownerTemplate, IDD_DEVICELIST);
    EXPECT_EQ(h.DatagramsSent(), 0);
    EXPECT_FALSE(h.loop.TimerArmed());
    EXPECT_EQ(h.dialog->GetSession().discovery().State(), Discovering);
    EXPECT_FALSE(h.dialog->GetSession().transport().ThreadStarted());
    for (int id : {IDC_BTN_DISCOVER, IDC_BTN_SETUPIP, IDC_BTN_WEBSERVER})
        EXPECT_FALSE(h.Enabled(id)) << id;
    EXPECT_TRUE(h.Rows().empty());
}

TEST_P(DiscoveryTest, FailedFirstSendLeavesTheCycleOpen)
{
    h.Open();
    h.tool->InjectFailure(FakeOp::Send, ENETUNREACH);
    h.Discover(20000);
    EXPECT_EQ(h.ui.Messages().size(), 1u);
    EXPECT_EQ(h.dialog->GetSession().discovery().State(), Discovering);
    EXPECT_FALSE(h.Enabled(IDC_BTN_DISCOVER));
}

} // namespace
} // namespace pemblor
