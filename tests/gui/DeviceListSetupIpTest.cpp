// Setup IP from the device list: the dialog for the current row, the cycle
// it ends, the row that shows where the device answered last (and the
// netmask it reported when read again), the time-out, the clicks the window
// drops while the dialog is open and a close request during the restart.
#include "gui/CSetupIpDlg.h"
#include "gui/MessageBox.h"
#include "gui/QtIpAddressCtrl.h"
#include "tests/gui/DeviceListRig.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>

namespace pemblor {
namespace {

using Rows = DeviceListRig::Rows;

const std::string Host0 = GuiRig::ApHost(0);

// The discovery queries and the detail queries the access point heard.
int QueriesHeard(const SimAccessPoint& ap)
{
    const auto requests = ap.Requests();
    return static_cast<int>(
        std::count_if(requests.begin(), requests.end(), [](const std::string& r) { return r.rfind("0 ", 0) == 0; }));
}

CSetupIpDlg* OpenDialog(DeviceListRig& rig)
{
    return rig.window->findChild<CSetupIpDlg*>();
}

void CloseDialog(DeviceListRig& rig)
{
    if (CSetupIpDlg* dialog = OpenDialog(rig))
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("IDCANCEL")), Qt::LeftButton);
    rig.Settle();
}

TEST(DeviceListSetupIpTest, SetupIpDuringDiscoveryEndsTheCycle)
{
    DeviceListRig rig;
    SimAccessPoint& ap0 = rig.AddStandardAccessPoint(0);
    apsim::Quirks late;
    late.replyDelayMs = 3000;
    rig.AddStandardAccessPoint(1, late);
    rig.Open();

    rig.Discover(1000);
    ASSERT_EQ(rig.Cells().size(), 1u);
    rig.ClickRow(0);
    rig.Click("IDC_BTN_SETUPIP");
    CSetupIpDlg* dialog = OpenDialog(rig);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    // The dialog names the device it edits, in its first line and to a
    // screen reader.
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Setup IP Address"));
    const QString line = QStringLiteral("ap0 \u00B7 02:00:00:00:00:01 \u00B7 eth0");
    EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("IDC_TEXT_DEVICE"))->text(), line);
    EXPECT_EQ(dialog->accessibleDescription(), line);
    EXPECT_EQ(rig.window->GetSession().discovery().State(), Idle);
    EXPECT_TRUE(rig.Enabled("IDC_BTN_DISCOVER"));

    // The late device answers while the dialog is open: the cycle has ended.
    rig.Advance(3000);
    EXPECT_GE(QueriesHeard(ap0), 2) << "the discovery and the detail query";
    CloseDialog(rig);
    EXPECT_EQ(OpenDialog(rig), nullptr);
    rig.Advance(20000);
    EXPECT_EQ(rig.Cells(), (Rows{{"1", "ap0", Host0, "255.255.255.0", "6", "02:00:00:00:00:01"}}));
    EXPECT_TRUE(rig.Messages().isEmpty());
}

TEST(DeviceListSetupIpTest, RowShowsTheAddressTheDetailReplyCameFrom)
{
    DeviceListRig rig;
    SimAccessPoint& ap = rig.AddStandardAccessPoint(0);
    rig.OpenAndDiscover();
    // The device answers from another address from now on.
    apsim::Quirks moved;
    moved.answerFrom = 0xC6120014u; // 198.18.0.20
    ap.SetQuirks(moved);
    rig.ClickRow(0);
    rig.Click("IDC_BTN_SETUPIP");
    rig.Advance(1000);
    CloseDialog(rig);
    EXPECT_EQ(rig.Cells(), (Rows{{"1", "ap0", "198.18.0.20", "255.255.255.0", "6", "02:00:00:00:00:01"}}));
    EXPECT_EQ(OpenDialog(rig), nullptr) << "the dialog is gone";
    EXPECT_TRUE(rig.Messages().isEmpty());
}

TEST(DeviceListSetupIpTest, UnansweredDetailQueryTimesOutAndClosesTheDialog)
{
    DeviceListRig rig;
    apsim::Quirks mute;
    mute.noDetail = true;
    rig.AddStandardAccessPoint(0, mute);
    rig.OpenAndDiscover();
    rig.RightClickRow(0);
    rig.Choose(QStringLiteral("Setup IP ..."));
    ASSERT_NE(OpenDialog(rig), nullptr);

    rig.Advance(4999);
    EXPECT_TRUE(rig.Messages().isEmpty());
    rig.Advance(1);
    EXPECT_EQ(rig.Messages(), QStringList{"Time Out!"});
    EXPECT_EQ(OpenDialog(rig), nullptr);
    EXPECT_EQ(rig.Cells()[0][2], Host0);
    EXPECT_EQ(rig.window->GetSession().discovery().State(), Idle);
}

// The commands find their device by the MAC of its reply's header, whatever
// the MAC Address cell shows.
TEST(DeviceListSetupIpTest, RowWhoseMacCellIsOtherTextIsAddressedByItsHeaderMac)
{
    struct Row {
        const char* what;
        std::vector<std::string> entries;
        int entryCountField;
        const char* macCell;
    };
    const std::vector<std::string> standard{"SSID=ap0", "IP_ADDR=" + Host0, "CURRENT_SUBNET_MASK=255.255.255.0",
                                            "CHANNEL=6"};
    std::vector<std::string> extra = standard;
    extra.push_back("EXTRA=lab");
    const Row rows[] = {
        {"entry count short of the MAC column", standard, 3, ""},
        {"a fifth entry in the MAC column", extra, -1, "lab"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        DeviceListRig rig;
        SimAccessPoint& ap = rig.AddStandardAccessPoint(0);
        ap.SetDiscoveryEntries(row.entries, row.entryCountField);
        rig.OpenAndDiscover();
        ASSERT_EQ(rig.Cells().size(), 1u);
        ASSERT_EQ(rig.Cells()[0][5], row.macCell);
        rig.ClickRow(0);
        rig.Click("IDC_BTN_SETUPIP");
        rig.Advance(1000);
        ASSERT_NE(OpenDialog(rig), nullptr);
        EXPECT_EQ(QueriesHeard(ap), 2) << "the discovery and the detail query";
        CloseDialog(rig);
        EXPECT_TRUE(rig.Messages().isEmpty());
    }
}

// Setup IP on row 0: the user types the credentials, changes a field of
// `control` to `digits` and applies; the reboot question and the note after
// it are answered Ok. Returns once Apply has been clicked.
CSetupIpDlg* ApplyWithReboot(DeviceListRig& rig, const char* control, int field, const QString& digits)
{
    rig.ClickRow(0);
    rig.Click("IDC_BTN_SETUPIP");
    rig.Advance(300);
    CSetupIpDlg* dialog = OpenDialog(rig);
    if (!dialog)
        return nullptr;
    for (const char* name : {"IDC_EDIT_USERNAME", "IDC_EDIT_PASSWORD"}) {
        auto* edit = dialog->findChild<QLineEdit*>(QString::fromLatin1(name));
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral("admin"));
    }
    auto* address = dialog->findChild<QtIpAddressCtrl*>(QString::fromLatin1(control));
    address->FocusField(field, true);
    QTest::keyClicks(address->Field(field), digits);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("IDC_BTN_APPLY")), Qt::LeftButton);
    rig.Advance(2000);
    return dialog;
}

// A change of the device's address, a reboot and the re-read: the row's IP
// Address cell ends up with the address the device answered from, and only
// that cell changes.
TEST(DeviceListSetupIpTest, RowShowsTheAddressTheDeviceLastAnsweredFrom)
{
    DeviceListRig rig;
    rig.AddStandardAccessPoint(0);
    rig.OpenAndDiscover();
    const std::vector<std::string> before = rig.Cells().at(0);
    ASSERT_NE(ApplyWithReboot(rig, "IDC_IP_ADDRESS", 3, QStringLiteral("40")), nullptr);
    rig.Advance(60000);
    EXPECT_EQ(OpenDialog(rig), nullptr);
    std::vector<std::string> expected = before;
    expected[2] = "198.18.0.40";
    EXPECT_EQ(rig.Cells().at(0), expected);
}

// The main window takes no input while the dialog is open: a click on
// Discover, on a row and on Setup IP, and the close box, made during the
// countdown, are dropped and never carried out when the dialog closes. The
// row then shows the netmask the device reported when read again, beside
// the cells it had.
TEST(DeviceListSetupIpTest, ClicksDuringTheRestartAreDroppedAndTheRowShowsTheReportedNetmask)
{
    DeviceListRig rig;
    rig.AddStandardAccessPoint(0);
    rig.OpenAndDiscover();
    const int discoveries = rig.DiscoveriesSent();
    const int stops = rig.StopDatagramsSent();
    CSetupIpDlg* dialog = ApplyWithReboot(rig, "IDC_IP_NETMASK", 2, QStringLiteral("254"));
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(dialog->Restarting());

    // As the window system delivers them, to the main window.
    QWindow* main = rig.window->windowHandle();
    const auto clickOn = [&](const QWidget* widget, QPoint at) {
        QTest::mouseClick(main, Qt::LeftButton, {}, widget->mapTo(rig.window.get(), at));
    };
    clickOn(&rig.Button("IDC_BTN_DISCOVER"), rig.Button("IDC_BTN_DISCOVER").rect().center());
    clickOn(rig.List().viewport(), rig.List().visualRect(rig.List().model()->index(0, 1)).center());
    clickOn(&rig.Button("IDC_BTN_SETUPIP"), rig.Button("IDC_BTN_SETUPIP").rect().center());
    rig.Advance(60000);

    EXPECT_EQ(OpenDialog(rig), nullptr);
    EXPECT_EQ(rig.DiscoveriesSent(), discoveries) << "no discovery replayed";
    EXPECT_EQ(rig.StopDatagramsSent(), stops) << "no close replayed";
    EXPECT_TRUE(rig.window->isVisible());
    EXPECT_EQ(rig.Cells(), (Rows{{"1", "ap0", Host0, "255.255.254.0", "6", "02:00:00:00:00:01"}}));
}

// A close request that reaches the main window while the device restarts
// asks first: No leaves everything running, Yes stops the job (nothing
// more is sent) and closes both windows.
TEST(DeviceListSetupIpTest, ClosingTheMainWindowDuringTheRestartAsksFirst)
{
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        DeviceListRig rig;
        rig.AddStandardAccessPoint(0);
        rig.OpenAndDiscover();
        CSetupIpDlg* dialog = ApplyWithReboot(rig, "IDC_IP_NETMASK", 2, QStringLiteral("254"));
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(dialog->Restarting());
        QSignalSpy finished(rig.window.get(), &QDialog::finished);
        rig.ClearMessages();
        MessageBox::setNextAnswer(yes ? QMessageBox::Yes : QMessageBox::No);
        const std::size_t sentAtClose = rig.net.SentLog().size();
        rig.window->close();
        rig.Settle();
        EXPECT_EQ(rig.Messages(), QStringList{"A device is restarting. Close Pemblor and stop waiting for it?"});
        if (yes) {
            rig.Advance(1000);
            EXPECT_EQ(OpenDialog(rig), nullptr);
            EXPECT_EQ(finished.count(), 1);
            EXPECT_EQ(rig.StopDatagramsSent(), 2) << "the close sends its stop datagrams as the close box does";
            EXPECT_EQ(rig.net.SentLog().size(), sentAtClose + 2);
        } else {
            rig.Advance(60000);
            EXPECT_EQ(OpenDialog(rig), nullptr) << "the re-read ended the dialog";
            EXPECT_EQ(finished.count(), 0);
            EXPECT_EQ(rig.Cells()[0][3], "255.255.254.0");
        }
    }
}

} // namespace
} // namespace pemblor
