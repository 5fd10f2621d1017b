// Setup IP with several rows selected: the window's side of "Setup IP for N
// devices" over the fake LAN: the dialog gets the selected devices, the
// job's replies come through the window's receive thread, and each row
// shows where its device answers once it has ended.
#include "gui/SetupIpManyDialog.h"
#include "tests/gui/DeviceListRig.h"

#include <QLabel>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace pemblor {
namespace {

TEST(DeviceListSetupIpManyTest, SeveralRowsOpenTheDialogForAllOfThem)
{
    DeviceListRig rig;
    // The rows (and the plan) keep the order of the devices' answers.
    rig.AddInOrder(3, [](int i, apsim::ApSettings& settings) {
        if (i == 1)
            settings.pass = "other";
    });
    rig.OpenAndDiscover();
    ASSERT_EQ(rig.Cells().size(), 3u);
    rig.ClickRow(0);
    rig.ClickRow(2, Qt::ShiftModifier);
    rig.Click("IDC_BTN_SETUPIP");

    auto* dialog = rig.window->findChild<SetupIpManyDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    ManyDevices& many = dialog->Logic();
    ASSERT_EQ(many.Rows().size(), 3u);
    EXPECT_EQ(many.Rows()[1].device.mac, "02:00:00:00:00:02");
    EXPECT_EQ(many.Rows()[1].device.ssid, "ap1");
    EXPECT_EQ(many.Rows()[1].device.address, GuiRig::ApHost(1));

    // The devices get addresses from 198.18.0.50 upward; the job runs on the
    // window's session.
    QSignalSpy ended(dialog, &SetupIpManyDialog::deviceEnded);
    many.Replan({{}, "198.18.0.50", std::nullopt, std::string("198.18.0.200"), std::nullopt});
    ASSERT_TRUE(many.CanApply()) << many.PlanFailure();
    many.Apply({.user = "admin", .password = "admin", .reboot = true});
    for (int second = 0; second < 200 && many.Running(); ++second)
        rig.Advance(1000);
    ASSERT_FALSE(many.Running());
    EXPECT_EQ(ended.count(), 3);
    ASSERT_TRUE(many.Rows()[0].outcome && many.Rows()[1].outcome && many.Rows()[2].outcome);
    // Verified needs the device's discovery reply after its reboot: the
    // window's receive thread passed it on to the job.
    EXPECT_EQ(many.Rows()[0].outcome->result, JobOutcome::Verified) << many.Rows()[0].outcome->message;
    EXPECT_EQ(many.Rows()[1].outcome->result, JobOutcome::AuthenticationError);
    EXPECT_EQ(many.Rows()[2].outcome->result, JobOutcome::Verified) << many.Rows()[2].outcome->message;
    // The rows show where the devices answer now.
    const auto cells = rig.Cells();
    EXPECT_EQ(cells[0][2], "198.18.0.50");
    EXPECT_EQ(cells[1][2], GuiRig::ApHost(1));
    EXPECT_EQ(cells[2][2], "198.18.0.52"); // .51 was planned for the refused one

    // Closed, the dialog goes; no round ran meanwhile, none is asked for.
    dialog->reject();
    rig.Settle();
    EXPECT_EQ(rig.window->findChild<SetupIpManyDialog*>(), nullptr);
    EXPECT_TRUE(rig.Messages().isEmpty());
}

TEST(DeviceListSetupIpManyTest, OneRowOpensTheSingleDeviceDialog)
{
    DeviceListRig rig;
    rig.AddStandardAccessPoint(0);
    rig.AddStandardAccessPoint(1);
    rig.OpenAndDiscover();
    rig.ClickRow(1);
    rig.Click("IDC_BTN_SETUPIP");
    EXPECT_EQ(rig.window->findChild<SetupIpManyDialog*>(), nullptr);
    auto* dialog = rig.window->findChild<QDialog*>(QStringLiteral("CSetupIpDlg"));
    ASSERT_NE(dialog, nullptr);
    const auto row = rig.Cells().at(1);
    EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("IDC_TEXT_DEVICE"))->text().toStdString(),
              row[1] + " \u00B7 " + row[5] + " \u00B7 eth0");
}

} // namespace
} // namespace pemblor
