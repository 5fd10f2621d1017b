#include "resources/ResourceIds.h"
#include "tests/support/DeviceListHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pemblor {
namespace {

// Setup IP from the device list, a change of the device's address, a reboot
// and the re-read: the row's IP Address cell ends up with the address the
// device answered from, and only that cell changes.
TEST(SetupIpDeviceList, RowShowsTheAddressTheDeviceLastAnsweredFrom)
{
    DeviceListHarness h;
    FakeAccessPoint& device = h.AddStandardAccessPoint(0);
    FakeAccessPoint::Profile after = device.GetProfile();
    after.answerDiscovery = false;
    after.answerDetail = false;
    after.answerCommands = false;
    FakeAccessPoint& rebooted = h.AddAccessPoint(after, "198.18.0.40");
    h.Open();
    h.Discover(200);
    ASSERT_EQ(h.Rows().size(), 1u);
    const std::vector<std::string> before = h.Rows()[0];
    ASSERT_EQ(before[2], DeviceListHarness::ApHost(0));

    const FakeToolkit::Millis start = h.ui.Now();
    // After the dialog's first detail reply, only the rebooted device answers.
    h.ui.AfterExternal(200, [&] {
        FakeAccessPoint::Profile off = device.GetProfile();
        off.answerDetail = false;
        device.SetProfile(off);
        FakeAccessPoint::Profile on = rebooted.GetProfile();
        on.answerDetail = true;
        rebooted.SetProfile(on);
    });
    h.ui.After(300, [&] {
        FakeWindow& w = *h.ui.LastWindow(IDD_SETUPIP);
        w.TypeText(IDC_EDIT_USERNAME, "admin");
        w.TypeField(IDC_IP_ADDRESS, 3, 40);
        w.Click(IDC_BTN_APPLY);
    });
    h.window->ClickList(IDC_LIST_DEVICES, 0);
    h.window->Click(IDC_BTN_SETUPIP);

    EXPECT_FALSE(h.ui.Stalled());
    EXPECT_TRUE(h.ui.LastWindow(IDD_SETUPIP)->Ended());
    EXPECT_GE(h.ui.Now() - start, 30000) << "the reboot wait came first";
    std::vector<std::string> expected = before;
    expected[2] = "198.18.0.40";
    EXPECT_EQ(h.Rows()[0], expected);
}

} // namespace
} // namespace pemblor
