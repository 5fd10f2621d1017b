#include "tests/support/DeviceListHarness.h"
#include "common/ValidateSettings.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(h.dialog->GetConversation().State(), Idle);
    EXPECT_FALSE(h.ui.Stalled());
}

// A malformed discovery reply names the all-zero MAC (every device) in its
// header. Setup IP on such a row says why it cannot go on and sends nothing
// at all. (A reply that leaves the MAC Address cell empty or holding another
// entry's text is still addressed by the MAC in its header: see below.)
TEST(DeviceListSetupIpTest, RowWithoutAValidMacIsRefusedAndNothingIsSent)
{
    struct Row {
        const char* what;
        void (*shape)(FakeAccessPoint::Profile&);
        const char* macCell;
    };
    const Row rows[] = {
        {"all-zero MAC", [](FakeAccessPoint::Profile& p) { p.mac = {}; }, "00:00:00:00:00:00"},
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
        const std::size_t sentBefore = h.net.SentLog().size();
        const std::size_t heardBefore = ap.Requests().size();

        // Should a dialog open after all, it is closed so the test ends.
        h.ui.After(1000, [&] {
            if (FakeWindow* top = h.ui.TopWindow(); top && top->TemplateId() == IDD_SETUPIP)
                top->Click(IDCANCEL);
        });
        h.window->ClickList(IDC_LIST_DEVICES, 0);
        h.window->Click(IDC_BTN_SETUPIP);
        h.ui.Advance(20000);

        EXPECT_EQ(h.ui.LastWindow(IDD_SETUPIP), nullptr);
        ASSERT_EQ(h.ui.MessageTexts(), std::vector<std::string>{std::string(MsgNoDeviceMac)});
        EXPECT_EQ(h.ui.Messages()[0].ownerTemplate, IDD_DEVICELIST);
        EXPECT_EQ(h.net.SentLog().size(), sentBefore) << "no datagram left the tool";
        EXPECT_EQ(ap.Requests().size(), heardBefore);
        EXPECT_EQ(h.dialog->GetConversation().State(), Idle);
        EXPECT_TRUE(h.Enabled(IDC_BTN_DISCOVER));
        EXPECT_FALSE(h.ui.Stalled());
    }
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
