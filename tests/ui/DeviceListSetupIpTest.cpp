#include "tests/support/DeviceListHarness.h"
#include "common/ValidateSettings.h"

#include <gtest/gtest.h>

#include <functional>

#include <string>
#include <vector>

namespace pemblor {
namespace {

using Rows = std::vector<std::vector<std::string>>;

const std::string Host0 = "198.18.0.10";

bool HeardDetailQuery(const FakeAccessPoint& ap)
{
    for (const auto& request : ap.Requests()) {
        if (request.type == 0 && request.mac == ap.GetProfile().mac)
            return true;
    }
    return false;
}

TEST(DeviceListSetupIpTest, SetupIpDuringDiscoveryEndsTheCycle)
{
    DeviceListHarness h;
    FakeAccessPoint& ap0 = h.AddStandardAccessPoint(0);
    auto late = FakeAccessPoint::Standard(DeviceListHarness::ApHost(1), DeviceListHarness::ApMac(1));
    late.discoveryDelay = 3000;
    h.AddAccessPoint(late, DeviceListHarness::ApHost(1));
    h.Open();

    h.Discover(1000);
    ASSERT_EQ(h.Rows().size(), 1u);
    h.window->ClickList(IDC_LIST_DEVICES, 0);
    // The late device answers while the dialog is open.
    h.ui.After(3000, [&] { h.ui.TopWindow()->Click(IDCANCEL); });
    h.window->Click(IDC_BTN_SETUPIP);

    FakeWindow* setup = h.ui.LastWindow(IDD_SETUPIP);
    ASSERT_NE(setup, nullptr);
    EXPECT_TRUE(setup->Ended());
    // The dialog names the device it edits, in its first line and to a
    // screen reader.
    EXPECT_EQ(setup->Caption(), "Setup IP Address");
    EXPECT_EQ(setup->ItemText(IDC_TEXT_DEVICE), "ap0 \u00B7 02:00:00:00:00:01 \u00B7 eth0");
    EXPECT_EQ(setup->Description(), "ap0 \u00B7 02:00:00:00:00:01 \u00B7 eth0");
    EXPECT_EQ(setup->Owner(), h.window);
    EXPECT_TRUE(HeardDetailQuery(ap0));

    h.ui.Advance(20000);
    EXPECT_EQ(h.Rows(), (Rows{{"1", "ap0", Host0, "255.255.255.0", "6", "02:00:00:00:00:01"}}));
    EXPECT_TRUE(h.ui.Messages().empty());
    EXPECT_TRUE(h.Enabled(IDC_BTN_DISCOVER));
    EXPECT_EQ(h.List().Changed(), std::vector<int>{0});
    EXPECT_FALSE(h.ui.Stalled());
}

TEST(DeviceListSetupIpTest, RowShowsTheAddressTheDetailReplyCameFrom)
{
    DeviceListHarness h;
    auto listed = FakeAccessPoint::Standard(Host0, DeviceListHarness::ApMac(0), "ap0");
    listed.answerDetail = false;
    h.AddAccessPoint(listed, Host0);
    // The same device, answering from its new address.
    const std::string moved = "198.18.0.20";
    auto renumbered = FakeAccessPoint::Standard(moved, DeviceListHarness::ApMac(0), "ap0");
    renumbered.answerDiscovery = false;
    h.AddAccessPoint(renumbered, moved);
    h.Open();

    h.Discover(6000);
    h.window->ClickList(IDC_LIST_DEVICES, 0);
    h.ui.After(1000, [&] { h.ui.TopWindow()->Click(IDCANCEL); });
    h.window->Click(IDC_BTN_SETUPIP);

    EXPECT_EQ(h.Rows(), (Rows{{"1", "ap0", moved, "255.255.255.0", "6", "02:00:00:00:00:01"}}));
    EXPECT_EQ(h.ui.TopWindow(), h.window) << "the dialog is gone";
    EXPECT_TRUE(h.ui.Messages().empty());
}

TEST(DeviceListSetupIpTest, UnansweredDetailQueryTimesOutAndClosesTheDialog)
{
    DeviceListHarness h;
    auto mute = FakeAccessPoint::Standard(Host0, DeviceListHarness::ApMac(0), "ap0");
    mute.answerDetail = false;
    h.AddAccessPoint(mute, Host0);
    h.Open();

    h.Discover(6000);
    h.ui.AnswerNextPopup(ID_SETUP_IP);
    const FakeToolkit::Millis opened = h.ui.Now();
    h.window->RightClickList(IDC_LIST_DEVICES, 0);

    FakeWindow* setup = h.ui.LastWindow(IDD_SETUPIP);
    ASSERT_NE(setup, nullptr);
    EXPECT_TRUE(setup->Ended());
    ASSERT_EQ(h.ui.MessageTexts(), std::vector<std::string>{"Time Out!"});
    EXPECT_EQ(h.ui.Messages()[0].ownerTemplate, IDD_SETUPIP);
    EXPECT_EQ(h.ui.Messages()[0].time, opened + 5000);
    EXPECT_EQ(h.Rows()[0][2], Host0);
    EXPECT_EQ(h.dialog->GetSession().discovery().State(), Idle);
    EXPECT_FALSE(h.ui.Stalled());
}

// A malformed discovery reply names the all-zero MAC (every device) in its
// header. Setup IP on such a row says why it cannot go on and sends nothing
// at all. (A reply that leaves the MAC Address cell empty or holding another
// entry's text is still addressed by the MAC in its header: see below.)
// A reply under the all-zero MAC (which in a request addresses every
// device) names no device: it is never listed, so nothing can be sent to it.
TEST(DeviceListSetupIpTest, AReplyUnderTheZeroMacIsNeverListed)
{
    DeviceListHarness h;
    auto profile = FakeAccessPoint::Standard(Host0, DeviceListHarness::ApMac(0), "ap0");
    profile.mac = {};
    h.AddAccessPoint(profile, Host0);
    h.Open();
    h.Discover(6000);
    EXPECT_TRUE(h.Rows().empty());
    EXPECT_FALSE(h.ui.Stalled());
}


// The commands find their device by the MAC of its reply's header, whatever
// the MAC Address cell shows.
TEST(DeviceListSetupIpTest, RowWhoseMacCellIsOtherTextIsAddressedByItsHeaderMac)
{
    struct Row {
        const char* what;
        void (*shape)(FakeAccessPoint::Profile&);
        const char* macCell;
    };
    const Row rows[] = {
        {"entry count short of the MAC column", [](FakeAccessPoint::Profile& p) { p.discoveryEntryCountField = 3; },
         ""},
        {"a fifth entry in the MAC column",
         [](FakeAccessPoint::Profile& p) { p.discoveryEntries.push_back("EXTRA=lab"); }, "lab"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        DeviceListHarness h;
        auto profile = FakeAccessPoint::Standard(Host0, DeviceListHarness::ApMac(0), "ap0");
        row.shape(profile);
        FakeAccessPoint& ap = h.AddAccessPoint(profile, Host0);
        h.Open();
        h.Discover(6000);
        ASSERT_EQ(h.Rows().size(), 1u);
        ASSERT_EQ(h.Rows()[0][5], row.macCell);

        h.ui.After(1000, [&] { h.ui.TopWindow()->Click(IDCANCEL); });
        h.window->ClickList(IDC_LIST_DEVICES, 0);
        h.window->Click(IDC_BTN_SETUPIP);
        h.ui.Advance(20000);

        ASSERT_NE(h.ui.LastWindow(IDD_SETUPIP), nullptr);
        EXPECT_TRUE(HeardDetailQuery(ap));
        EXPECT_TRUE(h.ui.Messages().empty());
        EXPECT_FALSE(h.ui.Stalled());
    }
}

} // namespace
} // namespace pemblor

namespace pemblor {
namespace {

// Setup IP on row 0 of ap0 (Host0): the user changes the netmask's third
// field to 254 and applies at +300, answers Ok to the reboot question and
// to the note. The device reports the new netmask from then on.
FakeWindow* RunRebootingSetupIp(DeviceListHarness& h, FakeAccessPoint& ap, const std::function<void()>& during)
{
    h.window->ClickList(IDC_LIST_DEVICES, 0);
    h.ui.AnswerNextMessage(IdOk);
    h.ui.AnswerNextMessage(IdOk);
    h.ui.After(300, [&h, &ap] {
        FakeWindow& w = *h.ui.LastWindow(IDD_SETUPIP);
        w.TypeText(IDC_EDIT_USERNAME, "admin");
        w.TypeField(IDC_IP_NETMASK, 2, 254);
        w.Click(IDC_BTN_APPLY);
        auto profile = ap.GetProfile();
        profile.detailEntries = {"IP_ADDR=198.18.0.10", "SUBNET_MASK=255.255.254.0", "DEFAULT_GATEWAY=198.18.0.1",
                                 "DHCP=0"};
        ap.SetProfile(profile);
    });
    // During the countdown: the question comes at +1300 (the poll tick).
    h.ui.After(10000, during);
    h.window->Click(IDC_BTN_SETUPIP);
    return h.ui.LastWindow(IDD_SETUPIP);
}

// The main window takes no input while the dialog is open: a click on
// Discover, on a row and on Setup IP, and the close box, made during the
// countdown, are dropped and never carried out when the dialog closes. The
// row then shows the netmask the device reported when read again, beside
// the cells it had.
TEST(DeviceListSetupIpTest, ClicksDuringTheRestartAreDroppedAndTheRowShowsTheReportedNetmask)
{
    DeviceListHarness h;
    FakeAccessPoint& ap = h.AddStandardAccessPoint(0);
    h.Open();
    h.Discover(6000);
    const int discoveries = h.DiscoveriesSent();
    const int stops = h.StopDatagramsSent();

    FakeWindow* setup = RunRebootingSetupIp(h, ap, [&h] {
        h.window->Click(IDC_BTN_DISCOVER);
        h.window->ClickList(IDC_LIST_DEVICES, 0);
        h.window->Click(IDC_BTN_SETUPIP);
        h.window->PressCloseBox();
    });
    ASSERT_NE(setup, nullptr);
    EXPECT_TRUE(setup->Ended());
    h.ui.Advance(60000);

    EXPECT_FALSE(h.ui.Stalled());
    EXPECT_EQ(h.DiscoveriesSent(), discoveries) << "no discovery replayed";
    EXPECT_EQ(h.StopDatagramsSent(), stops) << "no close replayed";
    EXPECT_FALSE(h.window->Ended());
    EXPECT_EQ(h.ui.TopWindow(), h.window);
    EXPECT_EQ(h.ui.LastWindow(IDD_SETUPIP), setup) << "no second Setup IP dialog";
    EXPECT_EQ(h.Rows(), (Rows{{"1", "ap0", Host0, "255.255.254.0", "6", "02:00:00:00:00:01"}}));
}

// A close request that reaches the main window while the device restarts
// asks first: No leaves everything running, Yes stops the job (nothing
// more is sent) and closes both windows.
TEST(DeviceListSetupIpTest, ClosingTheMainWindowDuringTheRestartAsksFirst)
{
    for (const int answer : {IdCancel, IdOk}) {
        SCOPED_TRACE(answer == IdOk ? "Yes" : "No");
        DeviceListHarness h;
        FakeAccessPoint& ap = h.AddStandardAccessPoint(0);
        h.Open();
        h.Discover(6000);
        std::size_t sentAtClose = 0;
        FakeWindow* setup = RunRebootingSetupIp(h, ap, [&] {
            h.ui.AnswerNextMessage(answer);
            h.ui.PostClose(*h.window);
            h.ui.AfterExternal(0, [&] { sentAtClose = h.net.SentLog().size(); });
        });
        ASSERT_NE(setup, nullptr);
        const auto texts = h.ui.MessageTexts();
        ASSERT_GE(texts.size(), 3u);
        EXPECT_EQ(texts[2], "A device is restarting. Close Pemblor and stop waiting for it?");
        EXPECT_EQ(h.ui.Messages()[2].buttons, MbButtons::YesNo);
        if (answer == IdOk) {
            EXPECT_TRUE(setup->Ended());
            h.ui.Advance(1000);
            EXPECT_TRUE(h.window->Ended());
            EXPECT_EQ(h.StopDatagramsSent(), 2) << "the close sends its stop datagrams as the close box does";
            EXPECT_EQ(h.net.SentLog().size(), sentAtClose + 2);
        } else {
            EXPECT_TRUE(setup->Ended()) << "the re-read ended the dialog";
            EXPECT_FALSE(h.window->Ended());
            EXPECT_EQ(h.Rows()[0][3], "255.255.254.0");
        }
        EXPECT_FALSE(h.ui.Stalled());
    }
}

} // namespace
} // namespace pemblor
