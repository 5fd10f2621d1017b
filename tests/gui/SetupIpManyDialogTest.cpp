// "Setup IP for N devices" driven by keys and clicks over the simulator's
// access points on the fake network and the virtual clock.
#include "tests/gui/SetupIpManyRig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

namespace pemblor {
namespace {

constexpr std::uint32_t kSubnet = 0xC6120100u; // 198.18.1.0/24
const NetworkInterface kLab{"lab0", 2, 0xC6120101u, 0xFFFFFF00u};

enum Column { ColCurrent = 3, ColPlanned = 4, ColStatus = 5 };

// One access point of the lab: 02:00:00:00:00:0<n> at 198.18.1.<host>,
// credentials admin/secret unless `password` says otherwise.
struct Ap {
    std::uint8_t n;
    std::uint8_t host;
    const char* password = "secret";
    bool neverReturn = false;
};

std::string MacOf(std::uint8_t n)
{
    return "02:00:00:00:00:0" + std::to_string(n);
}

std::string HostText(std::uint8_t host)
{
    return FormatIpv4(kSubnet | host);
}

// The requests that carry a change or a reboot ("2 admin/secret:|...").
long Commands(const SimAccessPoint& ap)
{
    const std::vector<std::string> requests = ap.Requests();
    return std::count_if(requests.begin(), requests.end(), [](const std::string& r) { return r.starts_with("2 "); });
}

class SetupIpManyDialogTest : public SetupIpManyRig {
protected:
    SetupIpManyDialogTest() : SetupIpManyRig(FormatIpv4(kLab.address), false) {}

    void Start(const std::vector<Ap>& lab)
    {
        for (const Ap& ap : lab) {
            apsim::ApSettings settings;
            settings.ip = kSubnet | ap.host;
            settings.mask = 0xFFFFFF00u;
            settings.gateway = kSubnet | 254u;
            settings.mac = {0x02, 0x00, 0x00, 0x00, 0x00, ap.n};
            settings.ssid = "lab-" + std::to_string(ap.n);
            settings.user = "admin";
            settings.pass = ap.password;
            apsim::Quirks quirks;
            quirks.neverReturn = ap.neverReturn;
            aps.push_back(std::make_unique<SimAccessPoint>(net, loop, settings, quirks, std::chrono::seconds(30)));
            devices.push_back({ap.n, settings.ssid, MacOf(ap.n), HostText(ap.host)});
            heard.push_back({MacOf(ap.n), settings.ip, settings.ip, kLab});
        }
    }

    // The four devices of most tests: the third refuses the password, the
    // fourth never comes back from its reboot, and a device outside the
    // selection holds 198.18.1.51.
    void StartFour()
    {
        Start({{1, 20}, {2, 21}, {3, 22, "other"}, {4, 23, "secret", true}});
        heard.push_back({"02:00:00:00:00:99", kSubnet | 51u, std::nullopt, kLab});
    }

    SetupIpManyDialog& Open() { return OpenDialog({kLab.address}); }

    QString Cell(int row, int column) const { return Find<QTableWidget>("preview")->item(row, column)->text(); }
    QString Message() const { return Find<QLabel>("message")->text(); }
    static void Press(Qt::Key key) { QTest::keyClick(static_cast<QWidget*>(nullptr), key); }
    // Moves the virtual clock in steps, letting the dialog paint between.
    void Advance(EventLoop::Millis ms)
    {
        for (EventLoop::Millis done = 0; done < ms; done += 500) {
            loop.Advance(500);
            QCoreApplication::processEvents();
        }
    }
    // Types the start address and the credentials, and applies with Enter.
    void ApplyFrom(const QString& start)
    {
        TypeInputs(start, QStringLiteral("admin"), QStringLiteral("secret"));
        Press(Qt::Key_Return);
    }
};

TEST_F(SetupIpManyDialogTest, ThePreviewFollowsTheStartAddressAsItIsTyped)
{
    StartFour();
    SetupIpManyDialog& shown = Open();
    EXPECT_EQ(shown.windowTitle(), "Setup IP for 4 devices");
    EXPECT_EQ(shown.accessibleName(), "Setup IP for 4 devices");
    EXPECT_EQ(shown.objectName(), "SetupIpMany");
    EXPECT_TRUE(Find<QtIpAddressCtrl>("start")->Field(0)->hasFocus());
    EXPECT_EQ(Message(), "Type the start address; the devices get addresses upward from it.");
    auto* apply = Find<QPushButton>("apply");
    EXPECT_FALSE(apply->isEnabled());
    Type("198.18.1.4");
    // Three fields and a part of the fourth: 198.18.1.4 is complete.
    EXPECT_EQ(Cell(0, ColPlanned), "198.18.1.4");
    EXPECT_EQ(Cell(3, ColPlanned), "198.18.1.7");
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
        EXPECT_EQ(Cell(row.row, ColPlanned), row.planned) << row.row;
        EXPECT_EQ(Cell(row.row, ColStatus), row.note) << row.row;
    }
    EXPECT_EQ(Cell(1, 0), "2");
    EXPECT_EQ(Cell(1, 1), "lab-2");
    EXPECT_EQ(Cell(1, 2), "02:00:00:00:00:02");
    EXPECT_EQ(Cell(1, ColCurrent), "198.18.1.21");
    EXPECT_TRUE(apply->isEnabled());
    // The end of the network refuses the plan, and Apply with it.
    for (int i = 0; i < 2; ++i)
        Press(Qt::Key_Backspace);
    Type("252");
    EXPECT_EQ(Cell(0, ColPlanned), "");
    EXPECT_FALSE(Message().isEmpty());
    EXPECT_FALSE(apply->isEnabled());
}

// Tab goes through the form in the order it shows (Apply and Export wait for
// a plan and a result); the address controls are
// one stop each and keep their own width (the fields do not spread apart
// across a wide dialog).
TEST_F(SetupIpManyDialogTest, TabOrderAndTheAddressControlsWidth)
{
    StartFour();
    SetupIpManyDialog& shown = Open();
    shown.resize(1200, 600);
    QCoreApplication::processEvents();
    const char* const order[] = {"netmask",        "gateway", "dhcp",    "user", "password",
                                 "neverBroadcast", "reboot",  "preview", "close"};
    for (const char* name : order) {
        Press(Qt::Key_Tab);
        QWidget* expected = Find<QWidget>(name);
        EXPECT_TRUE(expected == QApplication::focusWidget() || expected->isAncestorOf(QApplication::focusWidget()))
            << name << " " << QApplication::focusWidget()->objectName().toStdString();
    }
    for (const char* name : {"start", "netmask", "gateway"}) {
        auto* control = Find<QtIpAddressCtrl>(name);
        const int character = control->fontMetrics().horizontalAdvance(QLatin1Char('0'));
        EXPECT_LE(control->width(), 20 * character) << name;
        EXPECT_EQ(control->width(), control->sizeHint().width()) << name << ": its natural width";
        EXPECT_LE(control->Field(1)->x() - control->Field(0)->x(), 6 * character) << name;
        for (int field = 0; field < 4; ++field)
            EXPECT_GE(control->Field(field)->width(), control->fontMetrics().horizontalAdvance(QStringLiteral("255")))
                << name << field;
    }
}

TEST_F(SetupIpManyDialogTest, ApplyShowsEachDeviceLiveThenTheSummaryAndExports)
{
    StartFour();
    SetupIpManyDialog& shown = Open();
    QSignalSpy ended(&shown, &SetupIpManyDialog::deviceEnded);
    Type("198.18.1.60");
    // To the password by the keyboard: netmask, gateway, DHCP, user name.
    for (int i = 0; i < 4; ++i)
        Press(Qt::Key_Tab);
    EXPECT_TRUE(Find<QLineEdit>("user")->hasFocus());
    Type("admin");
    Press(Qt::Key_Tab);
    Type("secret");
    EXPECT_TRUE(Find<QCheckBox>("reboot")->isChecked());
    Press(Qt::Key_Return);
    EXPECT_TRUE(shown.Logic().Running());
    EXPECT_FALSE(Find<QLineEdit>("password")->isEnabled());
    EXPECT_EQ(Find<QTableWidget>("preview")->horizontalHeaderItem(ColStatus)->text(), "Status");
    EXPECT_EQ(Cell(0, ColStatus), "Reading");
    Advance(500);
    EXPECT_EQ(Cell(0, ColStatus), "Rebooting");
    EXPECT_EQ(Cell(2, ColStatus), "Failed: Authentication Error!");
    Advance(9500);
    EXPECT_EQ(Cell(1, ColStatus), "Waiting 10 s");
    // The dialog answers while the job runs.
    Find<QTableWidget>("preview")->setFocus();
    Press(Qt::Key_Down);
    Advance(25000);
    EXPECT_EQ(Cell(0, ColStatus), "Verified");
    EXPECT_EQ(Cell(0, ColCurrent), "198.18.1.20 → 198.18.1.60");
    EXPECT_EQ(Cell(3, ColStatus), "Waiting 35 s");
    Advance(60000);
    EXPECT_FALSE(shown.Logic().Running());
    EXPECT_EQ(Cell(3, ColStatus), "Failed: The device did not answer after restarting. It may be at its new "
                                  "address 198.18.1.63 or still restarting.");
    EXPECT_EQ(Message(), "2 verified, 1 authentication error, 1 not seen at its new address");
    ASSERT_EQ(ended.size(), 4);
    EXPECT_EQ(ended[0][0].value<DeviceOutcome>().mac, "02:00:00:00:00:03");

    QTemporaryDir dir;
    const QString path = dir.filePath("result.csv");
    FileDialog::setNextFileName(path);
    EXPECT_TRUE(Find<QPushButton>("export")->hasFocus());
    Press(Qt::Key_Space);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[0].startsWith("mac,result,ip,before_ip"));
    EXPECT_TRUE(lines[1].startsWith("02:00:00:00:00:01,verified,198.18.1.60,198.18.1.20,")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("02:00:00:00:00:02,verified,198.18.1.61,198.18.1.21,")) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].startsWith("02:00:00:00:00:03,authentication-error,198.18.1.22,")) << lines[3].toStdString();
    EXPECT_TRUE(lines[3].endsWith(",Authentication Error!")) << lines[3].toStdString();
    EXPECT_TRUE(lines[4].startsWith("02:00:00:00:00:04,not-verified,")) << lines[4].toStdString();
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());

    // A file that cannot be written is told with its cause, and nothing is
    // left behind.
    const QString nowhere = dir.filePath("missing/result.csv");
    FileDialog::setNextFileName(nowhere);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    Press(Qt::Key_Space);
    const QStringList told = MessageBox::takeShown();
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].startsWith("Cannot save the result: ")) << told[0].toStdString();
    EXPECT_GT(told[0].size(), QStringLiteral("Cannot save the result: ").size());
    EXPECT_FALSE(QFile::exists(nowhere));
}

// After Apply, Put back runs the plan back with the same credentials in the
// same rows: the device that moved goes back to its first address, the one
// that already held its row is left alone. The kernel's reverse-path drops
// while each job ran show below the rows.
TEST_F(SetupIpManyDialogTest, PutBackReturnsTheDevicesThatMovedAndLeavesTheOthers)
{
    Start({{1, 60}, {2, 21}});
    reversePath.modes = {{"lab0", 1}};
    reversePath.risePerRead = 3;
    SetupIpManyDialog& shown = Open();
    EXPECT_EQ(shown.findChild<QPushButton*>("putBack"), nullptr);
    ApplyFrom(QStringLiteral("198.18.1.60"));
    Advance(60000);
    ASSERT_FALSE(shown.Logic().Running());
    EXPECT_EQ(Message(), "1 verified, 1 unchanged");
    const QLabel* note = Find<QLabel>("reversePathNote");
    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(note->text().startsWith("The kernel's reverse-path filter dropped 3 packets")) << note->text().toStdString();
    auto* putBack = Find<QPushButton>("putBack");
    ASSERT_TRUE(putBack->isVisible());
    ASSERT_TRUE(putBack->isEnabled());
    EXPECT_EQ(putBack->text(), "&Put back");

    reversePath.risePerRead = 0;
    QTest::mouseClick(putBack, Qt::LeftButton);
    EXPECT_EQ(Message(), "Putting back...");
    EXPECT_EQ(Cell(0, ColStatus), "Left as it is: it took no change");
    EXPECT_EQ(Cell(1, ColPlanned), "198.18.1.21");
    EXPECT_FALSE(putBack->isEnabled());
    Advance(60000);
    ASSERT_FALSE(shown.Logic().Running());
    EXPECT_EQ(Cell(1, ColStatus), "Verified");
    EXPECT_EQ(Cell(1, ColCurrent), "198.18.1.61 → 198.18.1.21");
    EXPECT_EQ(Message(), "Put back: 1 verified, 1 left as it was");
    EXPECT_FALSE(note->isVisible());
    // Once only; the device untouched was sent nothing either time.
    EXPECT_FALSE(putBack->isEnabled());
    EXPECT_EQ(Commands(*aps[0]), 0);
    EXPECT_EQ(Commands(*aps[1]), 4);
    const std::vector<std::string> requests = aps[1]->Requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const std::string& r) {
        return r.starts_with("2 admin/secret:") && r.find("IP_ADDR 198.18.1.21") != std::string::npos;
    }));
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());
}

// A user name or password longer than the request holds is refused with
// the single-device dialog's message; nothing is sent.
TEST_F(SetupIpManyDialogTest, OverlongCredentialsAreRefused)
{
    StartFour();
    SetupIpManyDialog& shown = Open();
    Type("198.18.1.60");
    for (const char* field : {"user", "password"}) {
        auto* edit = Find<QLineEdit>(field);
        edit->setFocus();
        Type(QString(31, QLatin1Char('x')));
        MessageBox::setNextAnswer(QMessageBox::Ok);
        QTest::mouseClick(Find<QPushButton>("apply"), Qt::LeftButton);
        const QStringList told = MessageBox::takeShown();
        ASSERT_EQ(told.size(), 1) << field;
        EXPECT_TRUE(told[0].startsWith(std::string_view(field) == "user" ? "User Name is too long"
                                                                         : "Password is too long"))
            << told[0].toStdString();
        EXPECT_EQ(shown.focusWidget(), edit);
        EXPECT_FALSE(shown.Logic().Applied());
        edit->clear();
        Type("admin");
    }
    Advance(1000);
    for (const auto& ap : aps)
        EXPECT_EQ(Commands(*ap), 0);
}

// Escape, Close and the window's close button ask while the job runs: "No"
// keeps it running and the dialog open, "Yes" stops it, the devices already
// sent a change keep their outcomes, and the dialog finishes. Before Apply
// they ask nothing.
class ClosingWhileApplying : public SetupIpManyDialogTest {
protected:
    void Check(const std::function<void(SetupIpManyDialog&)>& close)
    {
        StartFour();
        {
            SetupIpManyDialog& idle = Open();
            QSignalSpy finished(&idle, &QDialog::finished);
            close(idle);
            EXPECT_TRUE(MessageBox::takeShown().isEmpty());
            EXPECT_EQ(finished.size(), 1);
            EXPECT_FALSE(idle.isVisible());
        }
        SetupIpManyDialog& shown = Open();
        QSignalSpy finished(&shown, &QDialog::finished);
        ApplyFrom(QStringLiteral("198.18.1.60"));
        Advance(2000);
        ASSERT_TRUE(shown.Logic().Running());
        for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            MessageBox::setNextAnswer(answer);
            close(shown);
            EXPECT_EQ(MessageBox::takeShown(),
                      QStringList{"The devices are being changed. Stop now? Devices already sent a change are "
                                  "reported as they stand."});
            EXPECT_EQ(shown.isVisible(), answer == QMessageBox::No);
            EXPECT_EQ(shown.Logic().Running(), answer == QMessageBox::No);
            EXPECT_EQ(finished.size(), answer == QMessageBox::No ? 0 : 1);
        }
        const std::vector<ManyRow>& rows = shown.Logic().Rows();
        ASSERT_TRUE(rows[0].outcome);
        EXPECT_EQ(rows[0].outcome->result, JobOutcome::NotVerified);
        ASSERT_TRUE(rows[2].outcome);
        EXPECT_EQ(rows[2].outcome->result, JobOutcome::AuthenticationError);
    }
};

TEST_F(ClosingWhileApplying, ByEscape)
{
    Check([](SetupIpManyDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); });
}

TEST_F(ClosingWhileApplying, ByTheCloseButton)
{
    Check([](SetupIpManyDialog& d) {
        QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("close")), Qt::LeftButton);
    });
}

TEST_F(ClosingWhileApplying, ByTheWindowsCloseButton)
{
    Check([](SetupIpManyDialog& d) { d.close(); });
}

// The job over three devices that answer from their own addresses, the
// middle one refusing the password: the plan starts at the first device's
// address with a new gateway, each device is changed and rebooted, and
// Verified needs its discovery reply after the reboot.
TEST_F(SetupIpManyDialogTest, TheJobChangesAndRebootsEachDeviceAndVerifiesIt)
{
    Start({{1, 30}, {2, 31, "other"}, {3, 32}});
    SetupIpManyDialog& shown = Open();
    QSignalSpy ended(&shown, &SetupIpManyDialog::deviceEnded);
    ManyDevices& logic = shown.Logic();
    logic.Replan({{}, HostText(30), std::nullopt, std::string("198.18.1.200"), std::nullopt});
    ASSERT_TRUE(logic.CanApply()) << logic.PlanFailure();
    logic.Apply({.user = "admin", .password = "secret", .reboot = true});
    for (int second = 0; second < 200 && logic.Running(); ++second)
        Advance(1000);
    ASSERT_FALSE(logic.Running());
    const JobOutcome expected[] = {JobOutcome::Verified, JobOutcome::AuthenticationError, JobOutcome::Verified};
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(logic.Rows()[i].outcome) << i;
        EXPECT_EQ(logic.Rows()[i].outcome->result, expected[i]) << i << " " << logic.Rows()[i].outcome->message;
    }
    EXPECT_EQ(ended.size(), 3);
    EXPECT_EQ(Commands(*aps[2]), 2); // the change and the reboot
    EXPECT_EQ(Commands(*aps[1]), 1); // the refused change only
    const std::vector<std::string> requests = aps[2]->Requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const std::string& r) {
        return r.starts_with("2 admin/secret:") && r.find("198.18.1.200") != std::string::npos;
    }));
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());
    EXPECT_FALSE(virtualClock.Stalled());
}

// A device whose MAC cannot address it alone is refused before anything is
// planned; the others are planned past it.
TEST_F(SetupIpManyDialogTest, ADeviceWithoutAUsableMacIsRefused)
{
    Start({{1, 20}, {2, 21}});
    devices.insert(devices.begin() + 1, ManyDevice{9, "odd", "00:00:00:00:00:00", "198.18.1.40"});
    Open();
    Type("198.18.1.60");
    EXPECT_TRUE(Cell(1, ColStatus).startsWith("Refused: ")) << Cell(1, ColStatus).toStdString();
    EXPECT_EQ(Cell(1, ColPlanned), "");
    EXPECT_EQ(Cell(0, ColPlanned), "198.18.1.60");
    EXPECT_EQ(Cell(2, ColPlanned), "198.18.1.61");
    EXPECT_TRUE(Find<QPushButton>("apply")->isEnabled());
}

} // namespace
} // namespace pemblor
