// "Setup IP for N devices" driven by keys and clicks, over access points
// that answer the re-address job on the virtual clock.
#include "QtTestSupport.h"

#include "engine/EventLoop.h"
#include "engine/Transport.h"
#include "engine/fake/FakeNetwork.h"
#include "protocol/MacText.h"
#include "tests/support/SimAccessPoint.h"
#include "tools/apsim/LabAddress.h"
#include "resources/ResourceIds.h"
#include "gui/QtIpAddressCtrl.h"
#include "toolkit/qt/QtToolkit.h"
#include "toolkit/qt/QtWindow.h"
#include "ui/qt/SetupIpManyDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <map>

namespace pemblor {
namespace {

struct Factory {
    std::string mac;
    std::string address;
    apsim::Quirks quirks;
    std::string password = "secret";
};

std::vector<Factory> Factories()
{
    std::vector<Factory> aps(4);
    for (int n = 0; n < 4; ++n) {
        aps[n].mac = "02:00:00:00:00:0" + std::to_string(n + 1);
        aps[n].address = "198.18.1." + std::to_string(20 + n);
        // Answering 5 ms late keeps the reboots off whole seconds, where the
        // countdowns read below would change.
        aps[n].quirks.replyDelayMs = 5;
    }
    aps[2].password = "other";
    aps[3].quirks.neverReturn = true;
    return aps;
}

// The simulator's access points of Factories(), restarting in 30 s.
std::vector<std::unique_ptr<SimAccessPoint>> Start(FakeNetwork& net, EventLoop& loop)
{
    std::vector<std::unique_ptr<SimAccessPoint>> started;
    for (const Factory& ap : Factories()) {
        apsim::ApSettings settings;
        settings.ip = *apsim::ParseAddress(ap.address);
        settings.mask = *apsim::ParseAddress("255.255.255.0");
        settings.gateway = *apsim::ParseAddress("198.18.1.254");
        settings.mac = ParseMacText(ap.mac);
        settings.ssid = "lab";
        settings.pass = ap.password;
        started.push_back(std::make_unique<SimAccessPoint>(net, loop, settings, ap.quirks, std::chrono::seconds(30)));
    }
    return started;
}

int Changes(const SimAccessPoint& ap)
{
    int changes = 0;
    for (const std::string& request : ap.Requests())
        changes += request.starts_with("2 ") && request.find("|reboot") == std::string::npos ? 1 : 0;
    return changes;
}

class QtSetupIpManyTest : public ::testing::Test {
protected:
    QtSetupIpManyTest()
    {
        g_hRecvSocket = InvalidSocket;
        virtualClock.SetQuiescenceProbe([this] { return net.Quiescent(); });
        EXPECT_TRUE(transport.Open().Ok());
        EXPECT_TRUE(transport.StartReceiveThread());
        std::vector<ManyDevice> devices;
        std::vector<HeardDevice> heard;
        int number = 1;
        for (const Factory& ap : Factories()) {
            const std::string& mac = ap.mac;
            devices.push_back({number++, "lab-" + mac.substr(15), mac, ap.address});
            std::uint32_t address = 0;
            ParseIpv4(ap.address.c_str(), address);
            heard.push_back({mac, address, address, NetworkInterface{"lab0", 2, 0xC6120101u, 0xFFFFFF00u}});
        }
        // A device outside the selection holds .51: the plan skips it.
        heard.push_back({"02:00:00:00:00:99", 0xC6120133u, std::nullopt, NetworkInterface{"lab0", 2, 0xC6120101u, 0xFFFFFF00u}});
        session = std::make_unique<ManySetupIp>(transport, clock, [this] { return clock.Now(); }, std::move(devices),
                                                std::move(heard));
    }
    ~QtSetupIpManyTest() override
    {
        session.reset();
        transport.StopReceiveThread();
        aps.clear();
        clock.Stop();
        g_hRecvSocket = InvalidSocket;
    }

    // Runs `act` with the dialog shown over a real window of the toolkit.
    void WithDialog(const std::function<void(SetupIpManyDialog&, QtWindow&)>& act)
    {
        ScriptedHandler owner(toolkit);
        owner.whileShown = [&](QtWindow& window) {
            SetupIpManyDialog dialog(toolkit, &window, *session);
            dialog.show();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            act(dialog, window);
            dialog.hide();
            toolkit.EndDialog(window, 1);
        };
        toolkit.RunModal(owner, IDD_ABOUTBOX, nullptr);
    }

    static QString Cell(SetupIpManyDialog& dialog, int row, int column)
    {
        return dialog.findChild<QTableWidget*>("preview")->item(row, column)->text();
    }
    static void Type(const QString& keys) { QTest::keyClicks(static_cast<QWidget*>(nullptr), keys); }
    static void Press(Qt::Key key) { QTest::keyClick(static_cast<QWidget*>(nullptr), key); }
    // Moves the virtual clock in steps, letting the dialog paint between.
    void Advance(EventLoop::Millis ms)
    {
        for (EventLoop::Millis done = 0; done < ms; done += 500) {
            clock.Advance(500);
            QCoreApplication::processEvents();
        }
    }

    QtToolkit toolkit;
    FakeNetwork net;
    std::unique_ptr<FakeSocketLayer> tool = net.NewLayer("198.18.1.1");
    VirtualClock virtualClock;
    EventLoop clock{virtualClock};
    Transport transport{*tool, clock};
    std::vector<std::unique_ptr<SimAccessPoint>> aps = Start(net, clock);
    std::unique_ptr<ManySetupIp> session;
};

TEST_F(QtSetupIpManyTest, ThePreviewFollowsTheStartAddressAsItIsTyped)
{
    WithDialog([&](SetupIpManyDialog& dialog, QtWindow&) {
        EXPECT_EQ(dialog.windowTitle(), "Setup IP for 4 devices");
        EXPECT_TRUE(dialog.findChild<QtIpAddressCtrl*>("start")->Field(0)->hasFocus());
        auto* apply = dialog.findChild<QPushButton*>("apply");
        EXPECT_FALSE(apply->isEnabled());
        Type("198.18.1.4");
        // Three fields and a part of the fourth: 198.18.1.4 is complete.
        EXPECT_EQ(Cell(dialog, 0, 4), "198.18.1.4");
        EXPECT_EQ(Cell(dialog, 3, 4), "198.18.1.7");
        Type("9");
        const struct {
            int row;
            const char* planned;
            const char* note;
        } expected[] = {{0, "198.18.1.49", ""},
                        {1, "198.18.1.50", ""},
                        {2, "198.18.1.52", "Skips 198.18.1.51 (in use)"},
                        {3, "198.18.1.53", ""}};
        for (const auto& row : expected) {
            EXPECT_EQ(Cell(dialog, row.row, 4), row.planned) << row.row;
            EXPECT_EQ(Cell(dialog, row.row, 5), row.note) << row.row;
        }
        EXPECT_TRUE(apply->isEnabled());
        // The end of the network refuses the plan, and Apply with it.
        for (int i = 0; i < 2; ++i)
            Press(Qt::Key_Backspace);
        Type("252");
        EXPECT_EQ(Cell(dialog, 0, 4), "");
        EXPECT_FALSE(dialog.findChild<QLabel*>("message")->text().isEmpty());
        EXPECT_FALSE(apply->isEnabled());
    });
}

TEST_F(QtSetupIpManyTest, ApplyShowsEachDeviceLiveThenTheSummaryAndExports)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("result.csv");
    toolkit.SetSaveFileChooser([&](QWidget*, const std::string&, const std::string&, const std::string&) {
        return std::optional<std::string>(path.toStdString());
    });
    WithDialog([&](SetupIpManyDialog& dialog, QtWindow&) {
        Type("198.18.1.60");
        // To the password by the keyboard: netmask, gateway, DHCP, user name.
        for (int i = 0; i < 4; ++i)
            Press(Qt::Key_Tab);
        EXPECT_TRUE(dialog.findChild<QLineEdit*>("user")->hasFocus());
        Type("admin");
        Press(Qt::Key_Tab);
        Type("secret");
        EXPECT_TRUE(dialog.findChild<QCheckBox*>("reboot")->isChecked());
        Press(Qt::Key_Return);
        EXPECT_TRUE(session->Running());
        EXPECT_EQ(Cell(dialog, 0, 5), "Reading");
        Advance(1000);
        EXPECT_EQ(Cell(dialog, 0, 5), "Rebooting");
        EXPECT_EQ(Cell(dialog, 2, 5), "Failed: Authentication Error!");
        Advance(9000);
        EXPECT_EQ(Cell(dialog, 1, 5), "Waiting 9 s");
        // The window answers while the job runs.
        dialog.findChild<QTableWidget*>("preview")->setFocus();
        Press(Qt::Key_Down);
        Advance(25000);
        EXPECT_EQ(Cell(dialog, 0, 5), "Verified");
        EXPECT_EQ(Cell(dialog, 0, 3), "198.18.1.20 → 198.18.1.60");
        EXPECT_EQ(Cell(dialog, 3, 5), "Waiting 34 s");
        Advance(60000);
        EXPECT_FALSE(session->Running());
        EXPECT_EQ(Cell(dialog, 3, 5), "Failed: not seen at its new address (last seen at 198.18.1.23)");
        EXPECT_EQ(dialog.findChild<QLabel*>("message")->text(),
                  "2 verified, 1 authentication error, 1 not seen at its new address");
        auto* exportButton = dialog.findChild<QPushButton*>("export");
        EXPECT_TRUE(exportButton->hasFocus());
        Press(Qt::Key_Space);
    });
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[0].startsWith("mac,result,ip,before_ip"));
    EXPECT_TRUE(lines[1].startsWith("02:00:00:00:00:01,verified,198.18.1.60,198.18.1.20,")) << lines[1].toStdString();
    EXPECT_TRUE(lines[3].startsWith("02:00:00:00:00:03,authentication-error,198.18.1.22,")) << lines[3].toStdString();
    EXPECT_TRUE(lines[3].endsWith(",Authentication Error!")) << lines[3].toStdString();
    EXPECT_TRUE(lines[4].startsWith("02:00:00:00:00:04,not-verified,")) << lines[4].toStdString();
    EXPECT_TRUE(lines[2].startsWith("02:00:00:00:00:02,verified,198.18.1.61,198.18.1.21,")) << lines[2].toStdString();
}

// A user name or password longer than the request holds is refused with
// the single-device dialog's message; nothing is sent.
TEST_F(QtSetupIpManyTest, OverlongCredentialsAreRefused)
{
    WithDialog([&](SetupIpManyDialog& dialog, QtWindow&) {
        Type("198.18.1.60");
        for (const char* field : {"user", "password"}) {
            auto* edit = dialog.findChild<QLineEdit*>(field);
            edit->setText(QString(31, QLatin1Char('x')));
            QString shown;
            WhenActive<QMessageBox>([&shown](QMessageBox* box) {
                shown = box->text();
                box->button(QMessageBox::Ok)->click();
            });
            QTest::mouseClick(dialog.findChild<QPushButton*>("apply"), Qt::LeftButton);
            EXPECT_TRUE(shown.startsWith(std::string_view(field) == "user" ? "User Name is too long"
                                                                           : "Password is too long"))
                << shown.toStdString();
            EXPECT_EQ(dialog.focusWidget(), edit);
            EXPECT_FALSE(session->Applied());
            edit->setText("admin");
        }
    });
    EXPECT_EQ(Changes(*aps[0]), 0);
}

// Close while the job runs asks; "No" keeps it running, "Yes" stops it
// and the devices already sent a change keep their outcomes.
TEST_F(QtSetupIpManyTest, CloseWhileApplyingAsksFirst)
{
    WithDialog([&](SetupIpManyDialog& dialog, QtWindow&) {
        Type("198.18.1.60");
        dialog.findChild<QLineEdit*>("user")->setText("admin");
        dialog.findChild<QLineEdit*>("password")->setText("secret");
        QTest::mouseClick(dialog.findChild<QPushButton*>("apply"), Qt::LeftButton);
        Advance(2000);
        for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            WhenActive<QMessageBox>([answer](QMessageBox* box) { box->button(answer)->click(); });
            QTest::keyClick(&dialog, Qt::Key_Escape);
            EXPECT_EQ(dialog.isVisible(), answer == QMessageBox::No);
            EXPECT_EQ(session->Running(), answer == QMessageBox::No);
        }
    });
    EXPECT_EQ(session->Rows()[0].outcome->result, JobOutcome::NotVerified);
    EXPECT_EQ(session->Rows()[2].outcome->result, JobOutcome::AuthenticationError);
}

} // namespace
} // namespace pemblor
