// How "Setup IP for N devices" sends the password: the preview names the
// devices whose password would be broadcast and warns above Apply; a device
// that does not answer by unicast is asked about; "Never broadcast the
// password" holds every such password back. And the other hosts on the
// devices' link that the plan steps around: the preview reads the neighbour
// table, Apply prompts address resolution of the planned addresses first.
#include "tests/gui/SetupIpManyRig.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace pemblor {
namespace {

constexpr const char* ToolHost = "198.18.1.1";
constexpr int ColStatus = 5;
const QString Warning = QStringLiteral("The password will be sent by broadcast: every computer on eth0 can read it.");

// The three kinds of device: inside the tool's network, a factory-fresh one
// outside it, and an agent inside that hears broadcasts only.
enum class Kind { Inside, Outside, BroadcastOnly };

class SetupIpManyBroadcast : public SetupIpManyRig {
protected:
    SetupIpManyBroadcast() : SetupIpManyRig(ToolHost, true) {}

    // Device n of `kinds`: MAC 02:00:00:00:00:0<n+1>, inside at
    // 198.18.1.<20+n>, outside at 192.168.1.1.
    void Start(const std::vector<Kind>& kinds)
    {
        // As the discovery before it read them.
        ASSERT_TRUE(transport.RefreshInterfaces());
        const std::optional<NetworkInterface> eth0 = transport.InterfaceNamed("eth0");
        ASSERT_TRUE(eth0);
        for (std::size_t n = 0; n < kinds.size(); ++n) {
            const std::uint32_t subnet = kinds[n] == Kind::Outside ? 0xC0A80100u : 0xC6120100u;
            apsim::ApSettings settings;
            settings.ip = subnet | (kinds[n] == Kind::Outside ? 1u : 20u + static_cast<std::uint32_t>(n));
            settings.mask = 0xFFFFFF00u;
            settings.gateway = subnet | 254u;
            settings.mac = {0x02, 0x00, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(n + 1)};
            settings.ssid = "lab";
            settings.user = "admin";
            settings.pass = "secret";
            apsim::Quirks quirks;
            quirks.broadcastOnly = kinds[n] == Kind::BroadcastOnly;
            aps.push_back(std::make_unique<SimAccessPoint>(net, loop, settings, quirks, std::chrono::seconds(30)));
            const std::string mac = "02:00:00:00:00:0" + std::to_string(n + 1);
            devices.push_back({static_cast<int>(n + 1), settings.ssid, mac, FormatIpv4(settings.ip)});
            heard.push_back({mac, settings.ip, settings.ip, eth0});
        }
        OpenDialog({0xC6120101u});
    }

    QString Note(int row) const { return Find<QTableWidget>("preview")->item(row, ColStatus)->text(); }

    // The plan from 198.18.1.60 with admin/secret, no reboot; the box
    // ticked when asked; Apply clicked; the job run to its end.
    void ApplyAndRun(bool neverBroadcast)
    {
        TypeInputs(QStringLiteral("198.18.1.60"), QStringLiteral("admin"), QStringLiteral("secret"));
        Find<QCheckBox>("reboot")->setChecked(false);
        if (neverBroadcast)
            QTest::mouseClick(Find<QCheckBox>("neverBroadcast"), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QTest::mouseClick(Find<QPushButton>("apply"), Qt::LeftButton);
        RunJob(250);
        ASSERT_FALSE(dialog->Logic().Running());
    }
    // Where each request with the password went ("broadcast" or an address).
    std::vector<std::string> WithPassword(std::size_t device) const
    {
        const std::vector<std::string> requests = aps[device]->Requests();
        const std::vector<std::string> destinations = aps[device]->Destinations();
        std::vector<std::string> sent;
        for (std::size_t i = 0; i < requests.size(); ++i)
            if (requests[i].starts_with("2 admin/secret:"))
                sent.push_back(destinations[i]);
        return sent;
    }
    JobOutcome Result(std::size_t row) const
    {
        const auto& outcome = dialog->Logic().Rows()[row].outcome;
        EXPECT_TRUE(outcome) << row;
        return outcome ? outcome->result : JobOutcome::Stopped;
    }
};

// Before Apply: the note column names the device outside the network, and
// the warning line above Apply says so, to a screen reader too.
TEST_F(SetupIpManyBroadcast, ThePreviewNamesTheDevicesWhosePasswordWouldBeBroadcast)
{
    Start({Kind::Inside, Kind::Outside, Kind::BroadcastOnly});
    Find<QtIpAddressCtrl>("start")->setFocus();
    Type(QStringLiteral("198.18.1.60"));
    EXPECT_EQ(Note(0), "");
    EXPECT_EQ(Note(1), "by broadcast on eth0: outside its network");
    EXPECT_EQ(Note(2), "") << "not known before the question";
    auto* warning = Find<QLabel>("broadcastWarning");
    EXPECT_FALSE(warning->isHidden());
    EXPECT_EQ(warning->text(), Warning);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(warning)->text(QAccessible::Name), Warning);
    EXPECT_FALSE(Find<QCheckBox>("neverBroadcast")->isChecked());
}

TEST_F(SetupIpManyBroadcast, NoWarningWhenEveryDeviceIsInside)
{
    Start({Kind::Inside, Kind::Inside});
    EXPECT_TRUE(Find<QLabel>("broadcastWarning")->isHidden());
}

// Apply over the three kinds: the inside device by unicast; the outside one
// by broadcast, as warned; the broadcast-only one asked about, and Yes sends
// its change by broadcast, No holds it back.
TEST_F(SetupIpManyBroadcast, ADeviceThatDoesNotAnswerByUnicastIsAskedAbout)
{
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        dialog.reset();
        aps.clear();
        devices.clear();
        heard.clear();
        Start({Kind::Inside, Kind::Outside, Kind::BroadcastOnly});
        MessageBox::setNextAnswer(yes ? QMessageBox::Yes : QMessageBox::No);
        ApplyAndRun(false);
        EXPECT_EQ(MessageBox::takeShown(),
                  QStringList{QStringLiteral("02:00:00:00:00:03 does not answer by unicast. Send the password by "
                                             "broadcast? Every computer on eth0 can read it.")});
        EXPECT_EQ(WithPassword(0), std::vector<std::string>{"198.18.1.20"});
        EXPECT_EQ(WithPassword(1), std::vector<std::string>{"broadcast"});
        EXPECT_EQ(Result(0), JobOutcome::Stored);
        EXPECT_EQ(Result(1), JobOutcome::Stored);
        if (yes) {
            EXPECT_EQ(WithPassword(2), std::vector<std::string>{"broadcast"});
            EXPECT_EQ(Result(2), JobOutcome::Stored);
        } else {
            EXPECT_TRUE(WithPassword(2).empty());
            EXPECT_EQ(Result(2), JobOutcome::NeedsBroadcast);
            EXPECT_EQ(Note(2), "Not changed: 02:00:00:00:00:03 does not answer by unicast: its password would be "
                               "broadcast to every host on eth0.");
            EXPECT_TRUE(Find<QLabel>("message")->text().contains("1 not changed (password not broadcast)"))
                << Find<QLabel>("message")->text().toStdString();
        }
    }
}

// "Never broadcast the password": only the inside device is changed; the
// others end held back without a question, nothing with their password sent.
TEST_F(SetupIpManyBroadcast, NeverBroadcastHoldsThePasswordsBack)
{
    Start({Kind::Inside, Kind::Outside, Kind::BroadcastOnly});
    ApplyAndRun(true);
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());
    EXPECT_EQ(WithPassword(0), std::vector<std::string>{"198.18.1.20"});
    EXPECT_TRUE(WithPassword(1).empty());
    EXPECT_TRUE(WithPassword(2).empty());
    EXPECT_EQ(Result(0), JobOutcome::Stored);
    EXPECT_EQ(Result(1), JobOutcome::NeedsBroadcast);
    EXPECT_EQ(Result(2), JobOutcome::NeedsBroadcast);
}

// The neighbour table as the kernel writes it, with a host that is no
// device at each of `addresses`.
void WriteNeighbours(const QString& path, const std::vector<const char*>& addresses)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QByteArray text = "IP address       HW type     Flags       HW address            Mask     Device\n";
    int n = 0;
    for (const char* address : addresses)
        text += QByteArray(address) + "      0x1         0x2         3c:2a:f4:00:00:5" + QByteArray::number(n++) +
                "     *        eth0\n";
    file.write(text);
}

// The preview reads the table and sends nothing; Apply prompts each planned
// address once (one byte to the discard port), waits 300 ms on the clock,
// reads the table again and plans again, until every planned address was
// prompted; only then does the job start.
TEST_F(SetupIpManyBroadcast, ApplyLooksForOtherHostsOnTheLinkThePreviewOnlyReads)
{
    QTemporaryDir dir;
    const QString table = dir.filePath(QStringLiteral("arp"));
    WriteNeighbours(table, {"198.18.1.60"});
    Start({Kind::Inside, Kind::Inside});
    dialog->Logic().LookForHosts(*tool, table.toStdString());
    const auto prompted = [this] {
        std::vector<std::string> hosts;
        for (const auto& datagram : net.SentLog())
            if (datagram.toPort == 9)
                hosts.push_back(datagram.toHost);
        return hosts;
    };
    Find<QtIpAddressCtrl>("start")->setFocus();
    Type(QStringLiteral("198.18.1.60"));
    const auto planned = [this](int row) { return Find<QTableWidget>("preview")->item(row, 4)->text(); };
    EXPECT_EQ(planned(0), "198.18.1.61");
    EXPECT_EQ(planned(1), "198.18.1.62");
    EXPECT_EQ(Note(0), "Skips 198.18.1.60 (in use)");
    EXPECT_TRUE(prompted().empty());

    Find<QLineEdit>("user")->setFocus();
    Type(QStringLiteral("admin"));
    Find<QLineEdit>("password")->setFocus();
    Type(QStringLiteral("secret"));
    Find<QCheckBox>("reboot")->setChecked(false);
    QTest::mouseClick(Find<QPushButton>("apply"), Qt::LeftButton);
    EXPECT_EQ(prompted(), (std::vector<std::string>{"198.18.1.61", "198.18.1.62"}));
    // A printer answers for 198.18.1.62 meanwhile.
    WriteNeighbours(table, {"198.18.1.60", "198.18.1.62"});
    loop.Advance(299);
    QCoreApplication::processEvents();
    EXPECT_TRUE(WithPassword(0).empty()) << "nothing changes while the kernel resolves";
    loop.Advance(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(planned(1), "198.18.1.63");
    EXPECT_EQ(prompted(), (std::vector<std::string>{"198.18.1.61", "198.18.1.62", "198.18.1.63"}));
    RunJob(250);
    ASSERT_FALSE(dialog->Logic().Running());
    EXPECT_EQ(Result(0), JobOutcome::Stored);
    EXPECT_EQ(Result(1), JobOutcome::Stored);
    const std::vector<std::string> requests = aps[1]->Requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const std::string& r) {
        return r.starts_with("2 admin/secret:") && r.find("IP_ADDR 198.18.1.63") != std::string::npos;
    }));
}

// The hosts found leave no address for a device: nothing is sent, and the
// form comes back with the reason.
TEST_F(SetupIpManyBroadcast, ApplyRefusedWhenTheHostsFoundLeaveNoRoom)
{
    QTemporaryDir dir;
    const QString table = dir.filePath(QStringLiteral("arp"));
    WriteNeighbours(table, {});
    Start({Kind::Inside, Kind::Inside});
    dialog->Logic().LookForHosts(*tool, table.toStdString());
    TypeInputs(QStringLiteral("198.18.1.253"), QStringLiteral("admin"));
    Find<QCheckBox>("reboot")->setChecked(false);
    QTest::mouseClick(Find<QPushButton>("apply"), Qt::LeftButton);
    WriteNeighbours(table, {"198.18.1.254"});
    loop.Advance(300);
    QCoreApplication::processEvents();
    EXPECT_FALSE(dialog->Logic().Running());
    EXPECT_FALSE(dialog->Logic().Applied());
    EXPECT_FALSE(Find<QLabel>("message")->text().isEmpty());
    EXPECT_TRUE(Find<QLineEdit>("password")->isEnabled());
    EXPECT_TRUE(WithPassword(0).empty());
    EXPECT_TRUE(WithPassword(1).empty());
}

} // namespace
} // namespace pemblor
