// "Keep discovering" on the virtual clock: the rounds every 5 seconds
// without clearing the table, new devices numbered on, moved devices
// updated, greying after 15 s of silence, the pause while Setup IP is open,
// quiet rounds, and nothing at all while it is off.
#include "common/DeviceColumns.h"
#include "gui/CSetupIpDlg.h"
#include "tests/gui/DeviceListRig.h"

#include <gtest/gtest.h>

namespace pemblor {
namespace {

using Rows = DeviceListRig::Rows;

const std::string Host0 = GuiRig::ApHost(0);
const std::string Host1 = GuiRig::ApHost(1);

void SetSilent(SimAccessPoint& ap, bool silent)
{
    apsim::Quirks quirks = ap.Quirks();
    quirks.silent = silent;
    ap.SetQuirks(quirks);
}

void KeepDiscovering(DeviceListRig& rig)
{
    rig.Click("IDC_CHK_KEEP_DISCOVERING");
}

// The row of the device at `record` as shown: greyed with its silence as
// tool tip, or nothing.
std::optional<std::string> Greyed(const DeviceListRig& rig, int record)
{
    const QAbstractItemModel& model = *rig.List().model();
    for (int row = 0; row < model.rowCount(); ++row) {
        if (rig.List().ShownRows()[static_cast<std::size_t>(row)] != record)
            continue;
        const QModelIndex cell = model.index(row, 1);
        if (!cell.data(Qt::ForegroundRole).isValid())
            return std::nullopt;
        return cell.data(Qt::ToolTipRole).toString().toStdString();
    }
    return std::nullopt;
}

TEST(DeviceListLiveTest, RoundsEveryFiveSecondsKeepTheTableAndAddNewDevicesWithTheNextNumber)
{
    DeviceListRig rig;
    rig.AddStandardAccessPoint(0);
    apsim::Quirks silent;
    silent.silent = true;
    SimAccessPoint& late = rig.AddStandardAccessPoint(1, silent);
    rig.OpenAndDiscover();
    ASSERT_EQ(rig.Cells().size(), 1u);
    const int before = rig.DiscoveriesSent();

    KeepDiscovering(rig);
    rig.Advance(100);
    EXPECT_EQ(rig.DiscoveriesSent(), before + 1) << "the first round at once";
    // The device answers only now that the live view is on.
    SetSilent(late, false);
    rig.Advance(15000);
    EXPECT_EQ(rig.DiscoveriesSent(), before + 4) << "a round every 5 s";
    EXPECT_EQ(rig.Cells(), (Rows{{"1", "ap0", Host0, "255.255.255.0", "6", "02:00:00:00:00:01"},
                                 {"2", "ap1", Host1, "255.255.255.0", "6", "02:00:00:00:00:02"}}));
    EXPECT_TRUE(rig.Messages().isEmpty());
    EXPECT_TRUE(rig.Enabled("IDC_BTN_DISCOVER"));
}

TEST(DeviceListLiveTest, AMovedDeviceShowsItsNewAddress)
{
    DeviceListRig rig;
    SimAccessPoint& ap = rig.AddStandardAccessPoint(0);
    rig.OpenAndDiscover();
    KeepDiscovering(rig);
    SetSilent(ap, true);
    apsim::ApSettings moved = GuiRig::Standard(0);
    moved.ip = 0xC612004Du; // 198.18.0.77
    rig.AddAccessPoint(moved);
    rig.Advance(6000);
    EXPECT_EQ(rig.Cells(), (Rows{{"1", "ap0", "198.18.0.77", "255.255.255.0", "6", "02:00:00:00:00:01"}}));
}

TEST(DeviceListLiveTest, ASilentDeviceIsGreyedAfterFifteenSecondsAndStaysListed)
{
    DeviceListRig rig;
    SimAccessPoint& ap = rig.AddStandardAccessPoint(0);
    rig.AddStandardAccessPoint(1);
    rig.OpenAndDiscover();
    ASSERT_EQ(rig.Cells().size(), 2u);
    SetSilent(ap, true);
    KeepDiscovering(rig);
    // Which of the two answered first is the network's business.
    const int silentRecord = *rig.window->Devices().Find(GuiRig::ApMac(0));
    const LoopClock::Millis lastHeard = rig.window->Devices().Get(silentRecord)->lastHeard;

    rig.Advance(lastHeard + kStaleAfterMs - 1000 - rig.Now());
    EXPECT_EQ(Greyed(rig, silentRecord), std::nullopt) << "not yet three rounds";
    rig.Advance(6000);
    ASSERT_EQ(rig.Cells().size(), 2u);
    EXPECT_EQ(Greyed(rig, silentRecord), NotHeardText(rig.Now() - lastHeard));
    EXPECT_EQ(rig.window->Devices().Get(silentRecord)->lastHeard, lastHeard);
    EXPECT_EQ(Greyed(rig, 1 - silentRecord), std::nullopt);
    // Last seen is read again every round.
    const int lastSeen = static_cast<int>(DeviceColumn::LastSeen);
    for (int row = 0; row < 2; ++row) {
        const int record = rig.List().ShownRows()[static_cast<std::size_t>(row)];
        const auto ago = rig.Now() - rig.window->Devices().Get(record)->lastHeard;
        EXPECT_EQ(rig.List().model()->index(row, lastSeen).data().toString().toStdString(), LastSeenText(ago));
    }
    EXPECT_TRUE(rig.Messages().isEmpty());

    // Unticked: no greying, no more rounds.
    KeepDiscovering(rig);
    EXPECT_EQ(Greyed(rig, silentRecord), std::nullopt);
    rig.Advance(5000);
    const int sent = rig.DiscoveriesSent();
    rig.Advance(20000);
    EXPECT_EQ(rig.DiscoveriesSent(), sent);
}

TEST(DeviceListLiveTest, RoundsNeverSayFindNoDevicesButDiscoverStillDoes)
{
    DeviceListRig rig;
    rig.Open();
    KeepDiscovering(rig);
    rig.Advance(21000);
    EXPECT_GE(rig.DiscoveriesSent(), 4);
    EXPECT_TRUE(rig.Messages().isEmpty());

    rig.Discover(6000);
    ASSERT_EQ(rig.Messages().size(), 1);
    EXPECT_TRUE(rig.Messages()[0].startsWith(QStringLiteral("Find no devices!")));
    // And it keeps discovering, quietly.
    const int sent = rig.DiscoveriesSent();
    rig.Advance(10000);
    EXPECT_GE(rig.DiscoveriesSent(), sent + 2);
    EXPECT_EQ(rig.Messages().size(), 1);
}

TEST(DeviceListLiveTest, DiscoverWhileLiveClearsAndNumbersFromOne)
{
    DeviceListRig rig;
    SimAccessPoint& ap0 = rig.AddStandardAccessPoint(0);
    rig.AddStandardAccessPoint(1);
    rig.OpenAndDiscover();
    KeepDiscovering(rig);
    SetSilent(ap0, true);
    rig.Advance(7000);
    ASSERT_EQ(rig.Cells().size(), 2u);
    rig.Discover(6000);
    EXPECT_EQ(rig.Cells(), (Rows{{"1", "ap1", Host1, "255.255.255.0", "6", "02:00:00:00:00:02"}}));
}

TEST(DeviceListLiveTest, RoundsPauseWhileSetupIpIsOpenAndResumeAfter)
{
    DeviceListRig rig;
    rig.AddStandardAccessPoint(0);
    rig.OpenAndDiscover();
    KeepDiscovering(rig);
    rig.Advance(2000); // inside a round
    rig.ClickRow(0);
    rig.Click("IDC_BTN_SETUPIP");
    auto* dialog = rig.window->findChild<CSetupIpDlg*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_NE(rig.window->GetSession().discovery().State(), Discovering);
    const int atOpen = rig.DiscoveriesSent();
    rig.Advance(12000);
    EXPECT_EQ(rig.DiscoveriesSent(), atOpen) << "no round while the dialog is open";
    dialog->reject();
    rig.Advance(6000);
    EXPECT_GE(rig.DiscoveriesSent(), atOpen + 1) << "the rounds resume";
    EXPECT_EQ(rig.window->findChild<CSetupIpDlg*>(), nullptr);
    EXPECT_TRUE(rig.Messages().isEmpty());
}

TEST(DeviceListLiveTest, OffTheDiscoveryIsTodaysAndNoRoundFollows)
{
    DeviceListRig rig;
    SimAccessPoint& ap = rig.AddStandardAccessPoint(0);
    rig.OpenAndDiscover();
    EXPECT_EQ(rig.DiscoveriesSent(), 1);
    SetSilent(ap, true);
    rig.Advance(60000);
    EXPECT_EQ(rig.DiscoveriesSent(), 1);
    EXPECT_EQ(Greyed(rig, 0), std::nullopt);
}

} // namespace
} // namespace pemblor
