// Discover on the fake LAN: replies become rows once per device, whatever
// their entries; a new cycle renumbers; silence, failed sends and a receive
// thread that cannot start are told.
#include "common/InterfaceTexts.h"
#include "protocol/Datagram.h"
#include "tests/gui/DeviceListRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace pemblor {
namespace {

using Rows = DeviceListRig::Rows;

const std::string Mac0 = GuiRig::ApMacText(0);
const std::string Mac1 = GuiRig::ApMacText(1);
const std::string Host0 = GuiRig::ApHost(0);
const std::string Host1 = GuiRig::ApHost(1);

apsim::Quirks Delayed(int ms, int repeats = 0)
{
    apsim::Quirks quirks;
    quirks.replyDelayMs = ms;
    quirks.discoveryRepeats = repeats;
    return quirks;
}

void SetSilent(SimAccessPoint& ap, bool silent)
{
    apsim::Quirks quirks = ap.Quirks();
    quirks.silent = silent;
    ap.SetQuirks(quirks);
}

TEST(DeviceListDiscoveryTest, RepliesBecomeRowsOncePerDeviceWithTheSenderAddress)
{
    DeviceListRig rig;
    rig.AddStandardAccessPoint(0, Delayed(100, 1));
    rig.AddStandardAccessPoint(1, Delayed(200))
        .SetDiscoveryEntries(std::vector<std::string>{"SSID=ap1", "IP_ADDR=10.9.9.9", "CURRENT_SUBNET_MASK=255.255.255.0",
                                                      "CHANNEL=6"});
    rig.Open();

    rig.Discover(6000);

    EXPECT_EQ(rig.Cells(), (Rows{{"1", "ap0", Host0, "255.255.255.0", "6", Mac0},
                                 {"2", "ap1", Host1, "255.255.255.0", "6", Mac1}}));
    EXPECT_EQ(rig.window->GetSession().discovery().DeviceCount(), 2);
    EXPECT_TRUE(rig.Messages().isEmpty());
}

TEST(DeviceListDiscoveryTest, NewDiscoverRenumbersAndListsEarlierDevicesAgain)
{
    DeviceListRig rig;
    SimAccessPoint& ap0 = rig.AddStandardAccessPoint(0, Delayed(100));
    rig.AddStandardAccessPoint(1, Delayed(200));
    rig.Open();

    rig.Discover(6000);
    ASSERT_EQ(rig.Cells().size(), 2u);

    SetSilent(ap0, true);
    rig.Discover(6000);
    EXPECT_EQ(rig.Cells(), (Rows{{"1", "ap1", Host1, "255.255.255.0", "6", Mac1}}));

    ap0.SetQuirks(Delayed(300));
    rig.Discover(6000);
    EXPECT_EQ(rig.Cells(), (Rows{{"1", "ap1", Host1, "255.255.255.0", "6", Mac1},
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

class RowShapeTest : public testing::TestWithParam<RowShape> {};

TEST_P(RowShapeTest, RowFollowsTheEntriesByPosition)
{
    const RowShape& shape = GetParam();
    DeviceListRig rig;
    rig.AddStandardAccessPoint(0, Delayed(100, 1)).SetDiscoveryEntries(shape.entries, shape.entryCountField);
    rig.Open();

    rig.Discover(1000);

    EXPECT_EQ(rig.Cells(), shape.expected);
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
    {"SixEntries", {"SSID=a", "X=b", "Y=c", "Z=d", "E5=five", "E6=six"}, -1, {{"1", "a", "b", "c", "d", "five"}}},
    {"NoEntries", {}, -1, {{"1", Mac0, "", "", "", ""}}},
    // The header promises four entries, two arrive: the MAC text still goes
    // where four entries put it, and the device is recognised.
    {"CountBeyondTheDatagram", {"SSID=a", "IP_ADDR=1.1.1.1"}, 4, {{"1", "a", Host0, "", "", Mac0}}},
};

INSTANTIATE_TEST_SUITE_P(Shapes, RowShapeTest, testing::ValuesIn(kRowShapes),
                         [](const testing::TestParamInfo<RowShape>& shape) { return std::string(shape.param.name); });

TEST(DeviceListDiscoveryTest, EachDeviceIsOneRowWhateverItsEntriesInTwoCycles)
{
    DeviceListRig rig;
    auto add = [&](int index, std::optional<std::vector<std::string>> entries, int repeats) {
        rig.AddStandardAccessPoint(index, Delayed(100 * (index + 1), repeats)).SetDiscoveryEntries(std::move(entries));
    };
    add(0, std::vector<std::string>{"SSID=zero", "IP_ADDR=10.0.0.1", "CURRENT_SUBNET_MASK=255.255.255.0", "CHANNEL=1"},
        1);
    add(1, std::vector<std::string>{"SSID=one", "IP_ADDR=x", "CURRENT_SUBNET_MASK=255.0.0.0"}, 1);
    // Its fifth entry reads like the MAC text of device 4; devices are told
    // apart by the MAC in their header, so device 4 is listed all the same.
    add(2, std::vector<std::string>{"SSID=two", "IP_ADDR=x", "CURRENT_SUBNET_MASK=m", "CHANNEL=2",
                                    "MAC=02:00:00:00:00:05"},
        0);
    add(3, std::vector<std::string>{"CHANNEL=3", "IP_ADDR=x", "SSID=three", "CURRENT_SUBNET_MASK=m"}, 1);
    add(4, std::nullopt, 0);
    add(5, std::vector<std::string>{"ONLY=one"}, 0);
    rig.Open();

    const Rows cycle{
        {"1", "zero", "198.18.0.10", "255.255.255.0", "1", "02:00:00:00:00:01"},
        {"2", "one", "198.18.0.11", "255.0.0.0", "02:00:00:00:00:02", ""},
        {"3", "two", "198.18.0.12", "m", "2", "02:00:00:00:00:05"},
        {"4", "3", "198.18.0.13", "three", "m", "02:00:00:00:00:04"},
        {"5", "ap4", "198.18.0.14", "255.255.255.0", "6", "02:00:00:00:00:05"},
        {"6", "one", "02:00:00:00:00:06", "", "", ""},
    };
    rig.Discover(6000);
    EXPECT_EQ(rig.Cells(), cycle);
    rig.Discover(6000);
    EXPECT_EQ(rig.Cells(), cycle);
}

TEST(DeviceListDiscoveryTest, BurstOfSimultaneousRepliesIsNumberedWithoutGapsOrDuplicates)
{
    constexpr int kDevices = 40;
    DeviceListRig rig;
    for (int i = 0; i < kDevices; ++i)
        rig.AddStandardAccessPoint(i, Delayed(0, 2));
    rig.Open();
    rig.Discover(1000);

    const Rows rows = rig.Cells();
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kDevices));
    std::vector<std::string> macs;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][0], std::to_string(i + 1));
        macs.push_back(rows[i][5]);
    }
    std::sort(macs.begin(), macs.end());
    EXPECT_EQ(std::unique(macs.begin(), macs.end()), macs.end());
    EXPECT_EQ(rig.window->GetSession().discovery().DeviceCount(), kDevices);
}

TEST(DeviceListDiscoveryTest, RowOfAnEarlierCycleStillOnItsWayIsNotListed)
{
    DeviceListRig rig;
    apsim::Quirks silent;
    silent.silent = true;
    SimAccessPoint& ap = rig.AddStandardAccessPoint(0, silent);
    rig.Open();
    rig.Discover();

    // The receive thread has taken the reply, but the user-interface thread
    // has not yet inserted its row when the next Discover is handled.
    ap.Send(EncodeDatagram(1, GuiRig::ApMac(0), "", "", {"SSID=old"}), GuiRig::ToolHost);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (rig.window->GetSession().discovery().DeviceCount() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(rig.window->GetSession().discovery().DeviceCount(), 1);
    // Discover is disabled while its cycle runs: the handler is what a
    // second press would reach.
    QMetaObject::invokeMethod(rig.window.get(), "OnDiscover");
    rig.Settle();
    EXPECT_TRUE(rig.Cells().empty());

    ap.Send(EncodeDatagram(1, GuiRig::ApMac(0), "", "", {"SSID=new"}), GuiRig::ToolHost);
    rig.Settle();
    EXPECT_EQ(rig.Cells(), (Rows{{"1", "new", Mac0, "", "", ""}}));
}

// A reply under the all-zero MAC (which in a request addresses every
// device) names no device: it is never listed, so nothing can be sent to it.
TEST(DeviceListDiscoveryTest, AReplyUnderTheZeroMacIsNeverListed)
{
    DeviceListRig rig;
    apsim::ApSettings settings = GuiRig::Standard(0);
    settings.mac = {};
    rig.AddAccessPoint(settings);
    rig.OpenAndDiscover();
    EXPECT_TRUE(rig.Cells().empty());
    EXPECT_EQ(rig.Messages().size(), 1) << "Find no devices!";
}

TEST(DeviceListDiscoveryTest, SilenceEndsTheCycleWithFindNoDevicesAfterFiveSeconds)
{
    DeviceListRig rig;
    rig.Open();
    rig.Discover(4999);
    EXPECT_TRUE(rig.Messages().isEmpty());
    EXPECT_EQ(rig.window->GetSession().discovery().State(), Discovering);
    EXPECT_FALSE(rig.Enabled("IDC_BTN_DISCOVER"));

    // The query went out of the tool host's one interface and came back
    // there: nobody answered.
    rig.Advance(1);
    ASSERT_EQ(rig.Messages(),
              QStringList{QString::fromStdString(FindNoDevicesText({SilenceCause::NobodyAnswered, {"eth0"}}))});
    EXPECT_TRUE(rig.Messages()[0].startsWith(QStringLiteral("Find no devices!\n")));
    EXPECT_EQ(rig.window->GetSession().discovery().State(), Idle);
    EXPECT_TRUE(rig.Enabled("IDC_BTN_DISCOVER"));

    // The timer keeps ticking, but an idle discovery has nothing to end.
    rig.Advance(10000);
    EXPECT_EQ(rig.Messages().size(), 1);
}

TEST(DeviceListDiscoveryTest, FailedSendIsReportedAndAnEarlierTimerStillEndsTheCycle)
{
    DeviceListRig rig;
    rig.Open();
    rig.Discover(5000);
    rig.ClearMessages();

    rig.Advance(1000);
    rig.tool->InjectFailure(FakeOp::Send, ENETUNREACH);
    rig.Discover();
    EXPECT_EQ(rig.Messages(), QStringList{QStringLiteral("skSend.SendTo: %1 (eth0)\n").arg(ENETUNREACH)});
    EXPECT_FALSE(rig.Enabled("IDC_BTN_DISCOVER"));

    rig.Advance(3999);
    EXPECT_EQ(rig.Messages().size(), 1);
    rig.Advance(1);
    EXPECT_EQ(rig.Messages().back(), QStringLiteral("Find no devices!"));
    EXPECT_TRUE(rig.Enabled("IDC_BTN_DISCOVER"));
}

TEST(DeviceListDiscoveryTest, ReceiveThreadThatCannotStartIsReportedAndNothingIsSent)
{
    DeviceListRig rig;
    rig.config.launchThread = [](std::thread&, std::function<void()>) { return false; };
    rig.AddStandardAccessPoint(0);
    rig.Open();
    rig.Discover(20000);
    EXPECT_EQ(rig.Messages(), QStringList{QStringLiteral("Cannot Create ServiceSocket Thread")});
    EXPECT_EQ(rig.DatagramsSent(), 0);
    EXPECT_FALSE(rig.loop.TimerArmed());
    EXPECT_EQ(rig.window->GetSession().discovery().State(), Discovering);
    EXPECT_FALSE(rig.window->GetSession().transport().ThreadStarted());
    for (const char* name : {"IDC_BTN_DISCOVER", "IDC_BTN_SETUPIP", "IDC_BTN_WEBSERVER"})
        EXPECT_FALSE(rig.Enabled(name)) << name;
    EXPECT_TRUE(rig.Cells().empty());
}

TEST(DeviceListDiscoveryTest, FailedFirstSendLeavesTheCycleOpen)
{
    DeviceListRig rig;
    rig.Open();
    rig.tool->InjectFailure(FakeOp::Send, ENETUNREACH);
    rig.Discover(20000);
    EXPECT_EQ(rig.Messages().size(), 1);
    EXPECT_EQ(rig.window->GetSession().discovery().State(), Discovering);
    EXPECT_FALSE(rig.Enabled("IDC_BTN_DISCOVER"));
}

} // namespace
} // namespace pemblor
