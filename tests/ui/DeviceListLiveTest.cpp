// "Keep discovering" on the virtual clock: the rounds every 5 seconds
// without clearing the table, new devices numbered on, moved devices
// updated, greying after 15 s of silence, the pause while Setup IP is open,
// quiet rounds, and nothing at all while it is off.
#include "common/DeviceColumns.h"
#include "tests/support/DeviceListHarness.h"

#include <gtest/gtest.h>

namespace pemblor {
namespace {

using Rows = std::vector<std::vector<std::string>>;

const std::string Host0 = DeviceListHarness::ApHost(0);
const std::string Host1 = DeviceListHarness::ApHost(1);

void KeepDiscovering(DeviceListHarness& h)
{
    h.window->Click(IDC_CHK_KEEP_DISCOVERING);
}

TEST(DeviceListLiveTest, RoundsEveryFiveSecondsKeepTheTableAndAddNewDevicesWithTheNextNumber)
{
    DeviceListHarness h;
    h.AddStandardAccessPoint(0);
    FakeAccessPoint& late = h.AddStandardAccessPoint(1);
    auto silent = late.GetProfile();
    silent.answerDiscovery = false;
    late.SetProfile(silent);
    h.Open();
    h.Discover(6000);
    ASSERT_EQ(h.Rows().size(), 1u);
    const int before = h.DiscoveriesSent();

    KeepDiscovering(h);
    EXPECT_TRUE(h.List().StaleAfterSet());
    h.ui.Advance(100);
    EXPECT_EQ(h.DiscoveriesSent(), before + 1) << "the first round at once";
    // The device answers only now that the live view is on.
    auto answering = late.GetProfile();
    answering.answerDiscovery = true;
    late.SetProfile(answering);
    h.ui.Advance(15000);
    EXPECT_EQ(h.DiscoveriesSent(), before + 4) << "a round every 5 s";
    EXPECT_EQ(h.Rows(), (Rows{{"1", "ap0", Host0, "255.255.255.0", "6", "02:00:00:00:00:01"},
                              {"2", "ap1", Host1, "255.255.255.0", "6", "02:00:00:00:00:02"}}));
    EXPECT_TRUE(h.ui.Messages().empty());
    EXPECT_TRUE(h.Enabled(IDC_BTN_DISCOVER));
}

TEST(DeviceListLiveTest, AMovedDeviceShowsItsNewAddress)
{
    DeviceListHarness h;
    FakeAccessPoint& ap = h.AddStandardAccessPoint(0);
    h.Open();
    h.Discover(6000);
    KeepDiscovering(h);
    auto gone = ap.GetProfile();
    gone.answerDiscovery = false;
    ap.SetProfile(gone);
    const std::string moved = "198.18.0.77";
    h.AddAccessPoint(FakeAccessPoint::Standard(moved, DeviceListHarness::ApMac(0), "ap0"), moved);
    h.ui.Advance(6000);
    EXPECT_EQ(h.Rows(), (Rows{{"1", "ap0", moved, "255.255.255.0", "6", "02:00:00:00:00:01"}}));
}

TEST(DeviceListLiveTest, ASilentDeviceIsGreyedAfterFifteenSecondsAndStaysListed)
{
    DeviceListHarness h;
    FakeAccessPoint& ap = h.AddStandardAccessPoint(0);
    h.AddStandardAccessPoint(1);
    h.Open();
    h.Discover(6000);
    ASSERT_EQ(h.Rows().size(), 2u);
    auto silent = ap.GetProfile();
    silent.answerDiscovery = false;
    ap.SetProfile(silent);
    KeepDiscovering(h);
    // The rows in arrival order; which of the two answered first is the
    // network's business.
    const int silentRow = h.Rows().at(0).at(5) == "02:00:00:00:00:01" ? 0 : 1;
    const FakeToolkit::Millis lastHeard = h.dialog->Devices().Get(silentRow)->lastHeard;

    h.ui.Advance(lastHeard + kStaleAfterMs - 1000 - h.ui.Now());
    EXPECT_EQ(h.List().Stale(silentRow), std::nullopt) << "not yet three rounds";
    h.ui.Advance(6000);
    ASSERT_EQ(h.Rows().size(), 2u);
    const auto tip = h.List().Stale(silentRow);
    ASSERT_TRUE(tip);
    EXPECT_EQ(*tip, NotHeardText(h.ui.Now() - lastHeard));
    EXPECT_EQ(h.dialog->Devices().Get(silentRow)->lastHeard, lastHeard);
    EXPECT_EQ(h.List().Stale(1 - silentRow), std::nullopt);
    EXPECT_GE(h.List().Refreshes(), 3) << "Last seen read again every round";
    EXPECT_TRUE(h.ui.Messages().empty());

    // Unticked: no greying, no more rounds.
    KeepDiscovering(h);
    EXPECT_EQ(h.List().Stale(silentRow), std::nullopt);
    h.ui.Advance(5000);
    const int sent = h.DiscoveriesSent();
    h.ui.Advance(20000);
    EXPECT_EQ(h.DiscoveriesSent(), sent);
}

TEST(DeviceListLiveTest, RoundsNeverSayFindNoDevicesButDiscoverStillDoes)
{
    DeviceListHarness h;
    h.Open();
    KeepDiscovering(h);
    h.ui.Advance(21000);
    EXPECT_GE(h.DiscoveriesSent(), 4);
    EXPECT_TRUE(h.ui.Messages().empty());

    h.Discover(6000);
    ASSERT_EQ(h.ui.Messages().size(), 1u);
    EXPECT_EQ(h.ui.Messages()[0].text.rfind("Find no devices!", 0), 0u);
    // And it keeps discovering, quietly.
    const int sent = h.DiscoveriesSent();
    h.ui.Advance(10000);
    EXPECT_GE(h.DiscoveriesSent(), sent + 2);
    EXPECT_EQ(h.ui.Messages().size(), 1u);
}

TEST(DeviceListLiveTest, DiscoverWhileLiveClearsAndNumbersFromOne)
{
    DeviceListHarness h;
    FakeAccessPoint& ap0 = h.AddStandardAccessPoint(0);
    h.AddStandardAccessPoint(1);
    h.Open();
    h.Discover(6000);
    KeepDiscovering(h);
    auto silent = ap0.GetProfile();
    silent.answerDiscovery = false;
    ap0.SetProfile(silent);
    h.ui.Advance(7000);
    ASSERT_EQ(h.Rows().size(), 2u);
    h.Discover(6000);
    EXPECT_EQ(h.Rows(), (Rows{{"1", "ap1", Host1, "255.255.255.0", "6", "02:00:00:00:00:02"}}));
}

TEST(DeviceListLiveTest, RoundsPauseWhileSetupIpIsOpenAndResumeAfter)
{
    DeviceListHarness h;
    h.AddStandardAccessPoint(0);
    h.Open();
    h.Discover(6000);
    KeepDiscovering(h);
    h.ui.Advance(2000); // inside a round
    int duringDialog = -1;
    int atOpen = -1;
    h.ui.After(100, [&] { atOpen = h.DiscoveriesSent(); });
    h.ui.After(12000, [&] {
        duringDialog = h.DiscoveriesSent();
        EXPECT_NE(h.dialog->GetSession().discovery().State(), Discovering);
        h.ui.TopWindow()->Click(IDCANCEL);
    });
    h.window->ClickList(IDC_LIST_DEVICES, 0);
    h.window->Click(IDC_BTN_SETUPIP);
    ASSERT_NE(h.ui.LastWindow(IDD_SETUPIP), nullptr);
    EXPECT_EQ(duringDialog, atOpen) << "no round while the dialog is open";
    h.ui.Advance(6000);
    EXPECT_GE(h.DiscoveriesSent(), duringDialog + 1) << "the rounds resume";
    EXPECT_TRUE(h.ui.Messages().empty());
    EXPECT_FALSE(h.ui.Stalled());
}

TEST(DeviceListLiveTest, OffTheDiscoveryIsTodaysAndNoRoundFollows)
{
    DeviceListHarness h;
    h.AddStandardAccessPoint(0);
    h.Open();
    h.Discover(6000);
    EXPECT_EQ(h.DiscoveriesSent(), 1);
    h.ui.Advance(60000);
    EXPECT_EQ(h.DiscoveriesSent(), 1);
    EXPECT_FALSE(h.List().StaleAfterSet());
}

} // namespace
} // namespace pemblor
