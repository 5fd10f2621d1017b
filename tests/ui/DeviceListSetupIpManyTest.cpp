// Setup IP with several rows selected: the window's side of "Setup IP for N
// devices" over the fake LAN (the transport, its receive thread and the
// discovery replies the job hears through the conversation).
#include "tests/support/DeviceListHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pemblor {
namespace {

int RequestsOfType(const FakeAccessPoint& ap, std::uint32_t type)
{
    int count = 0;
    for (const auto& request : ap.Requests())
        if (request.type == type && request.mac == ap.GetProfile().mac)
            ++count;
    return count;
}

struct Opened {
    int calls = 0;
    std::vector<ManyDevice> devices;
    std::vector<DeviceOutcome> outcomes;
};

// Plans the devices onto the addresses they answer from with a new gateway,
// applies with a reboot and lets virtual time pass until the job ends.
ManySetupIpView ApplyingView(DeviceListHarness& h, Opened& opened)
{
    return [&h, &opened](IWindow*, ManySetupIp& session) {
        ++opened.calls;
        for (const ManyRow& row : session.Rows())
            opened.devices.push_back(row.device);
        session.Replan({DeviceListHarness::ApHost(0), std::nullopt, std::string("198.18.0.200"), std::nullopt});
        ASSERT_TRUE(session.CanApply()) << session.PlanFailure();
        JobSettings settings;
        settings.user = "admin";
        settings.password = "secret";
        settings.reboot = true;
        session.Apply(settings);
        for (int second = 0; second < 200 && session.Running(); ++second)
            h.ui.Advance(1000);
        for (const ManyRow& row : session.Rows())
            if (row.outcome)
                opened.outcomes.push_back(*row.outcome);
    };
}

TEST(DeviceListSetupIpManyTest, SeveralRowsOpenTheDialogForAllOfThem)
{
    DeviceListHarness h;
    std::vector<FakeAccessPoint*> aps;
    for (int i = 0; i < 3; ++i) {
        auto profile =
            FakeAccessPoint::Standard(DeviceListHarness::ApHost(i), DeviceListHarness::ApMac(i), "ap" + std::to_string(i));
        // They answer in their order, so the rows (and the plan) keep it.
        profile.discoveryDelay = 100 + 100 * i;
        profile.commandResult = i == 1 ? 1 : 0;
        aps.push_back(&h.AddAccessPoint(profile, DeviceListHarness::ApHost(i)));
    }
    const FakeAccessPoint& ap1 = *aps[1];
    const FakeAccessPoint& ap2 = *aps[2];
    h.Open();
    Opened opened;
    h.dialog->SetManySetupIpView(ApplyingView(h, opened));

    h.Discover(6000);
    ASSERT_EQ(h.Rows().size(), 3u);
    h.window->ClickList(IDC_LIST_DEVICES, 0);
    h.List().AddToSelection(1);
    h.List().AddToSelection(2);
    h.window->Click(IDC_BTN_SETUPIP);

    ASSERT_EQ(opened.calls, 1);
    ASSERT_EQ(opened.devices.size(), 3u);
    EXPECT_EQ(opened.devices[1].mac, "02:00:00:00:00:02");
    EXPECT_EQ(opened.devices[1].ssid, "ap1");
    EXPECT_EQ(opened.devices[1].address, DeviceListHarness::ApHost(1));
    EXPECT_EQ(h.ui.LastWindow(IDD_SETUPIP), nullptr);

    ASSERT_EQ(opened.outcomes.size(), 3u);
    // Verified needs the device's discovery reply after its reboot: the
    // conversation passed it on to the job.
    EXPECT_EQ(opened.outcomes[0].result, JobOutcome::Verified) << opened.outcomes[0].message;
    EXPECT_EQ(opened.outcomes[1].result, JobOutcome::AuthenticationError);
    EXPECT_EQ(opened.outcomes[2].result, JobOutcome::Verified) << opened.outcomes[2].message;
    EXPECT_EQ(RequestsOfType(ap2, 2), 2); // the change and the reboot
    EXPECT_EQ(RequestsOfType(ap1, 2), 1); // the refused change only
    EXPECT_TRUE(h.ui.Messages().empty());
    EXPECT_FALSE(h.ui.Stalled());
}

TEST(DeviceListSetupIpManyTest, OneRowOpensTheSingleDeviceDialog)
{
    DeviceListHarness h;
    h.AddStandardAccessPoint(0);
    h.AddStandardAccessPoint(1);
    h.Open();
    Opened opened;
    h.dialog->SetManySetupIpView(ApplyingView(h, opened));
    h.Discover(6000);
    h.window->ClickList(IDC_LIST_DEVICES, 1);
    h.ui.After(3000, [&] { h.ui.TopWindow()->Click(IDCANCEL); });
    h.window->Click(IDC_BTN_SETUPIP);
    EXPECT_EQ(opened.calls, 0);
    ASSERT_NE(h.ui.LastWindow(IDD_SETUPIP), nullptr);
    const std::vector<std::string> row = h.Rows().at(1);
    EXPECT_EQ(h.ui.LastWindow(IDD_SETUPIP)->ItemText(IDC_TEXT_DEVICE), row[1] + " \u00B7 " + row[5] + " \u00B7 eth0");
}

} // namespace
} // namespace pemblor
