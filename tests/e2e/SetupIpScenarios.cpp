// The Setup IP dialog: the form read from the device, the change with its
// credentials, the reboot question and the re-read, and the time-out.

#include "Scenario.h"

#include "engine/PosixSocketLayer.h"
#include "protocol/DatagramType.h"
#include "protocol/Requests.h"

namespace e2e {
namespace {

using namespace pemblor;

using namespace std::chrono_literals;

const QString kQuestion =
    QStringLiteral("Change setting successfully!\n\nDo you want to reboot the target to take effect immediately?");
const QString kRebootNotice = QStringLiteral("It may take about one minute to reboot the target.");
const QString kRestartLine = QString::fromUtf8("Waiting for the device to restart\u2026 ");

// Discover, select the only row and open Setup IP on it.
void OpenSetupIp(Scenario& s)
{
    OpenMainWindow(s);
    s.user.Click(kMainTitle, "IDC_BTN_DISCOVER");
    s.user.WaitForRows(1, 3s);
    s.user.ClickRow(0);
    s.user.Click(kMainTitle, "IDC_BTN_SETUPIP");
    s.user.WaitForWindow(kSetupIpTitle, 3s);
    Note("Setup IP dialog shown");
}

// The form is filled and enabled once the detail reply is in.
void ExpectForm(Scenario& s, const QString& ip, const QString& mask, const QString& gateway, bool dhcp)
{
    s.user.WaitEnabled(kSetupIpTitle, "IDC_BTN_APPLY", true, 3s);
    ExpectEqual(s.user.Address(kSetupIpTitle, "IDC_IP_ADDRESS"), ip, "IP address control");
    ExpectEqual(s.user.Address(kSetupIpTitle, "IDC_IP_NETMASK"), mask, "netmask control");
    ExpectEqual(s.user.Address(kSetupIpTitle, "IDC_IP_GATEWAY"), gateway, "gateway control");
    Expect(s.user.IsChecked(kSetupIpTitle, "IDC_CHK_DHCP") == dhcp, "DHCP box ticked as the device reports");
    // A device that does not report DHCP 1 never gets its box enabled.
    Expect(s.user.IsEnabled(kSetupIpTitle, "IDC_CHK_DHCP") == dhcp, "DHCP box enabled only for DHCP 1");
    for (const char* id : {"IDC_IP_ADDRESS", "IDC_IP_NETMASK", "IDC_IP_GATEWAY", "IDC_EDIT_USERNAME", "IDC_EDIT_PASSWORD"})
        Expect(s.user.IsEnabled(kSetupIpTitle, id), "control " + std::string(id) + " enabled");
    ExpectEqual(s.user.Text(kSetupIpTitle, "IDC_EDIT_USERNAME"), QString(), "user name starts empty");
    ExpectEqual(s.user.Text(kSetupIpTitle, "IDC_EDIT_PASSWORD"), QString(), "password starts empty");
}

void ExpectQuestion(Scenario& s)
{
    const MessageBoxSeen box = s.user.WaitForMessageBox(5s);
    Note("question after " + std::to_string(box.waited.count()) + " ms");
    ExpectEqual(box.text, kQuestion, "question text");
    ExpectEqual(box.title, s.appName, "question caption");
    ExpectEqual(box.ownerTitle, kSetupIpTitle, "owner of the question");
    Expect(box.icon == QMessageBox::Question, "the question has the question icon");
    ExpectEqual(box.buttons.join(QLatin1Char(',')), QStringLiteral("Cancel,OK"), "buttons of the question");
}

// Apply, then OK to the question and to the note; returns when the note has
// been answered.
Clock::time_point ApplyAndReboot(Scenario& s)
{
    s.user.Click(kSetupIpTitle, "IDC_BTN_APPLY");
    ExpectQuestion(s);
    s.user.Answer(QMessageBox::Ok);
    ExpectMessageBox(s, kRebootNotice, kSetupIpTitle, 2s);
    const Clock::time_point answered = Clock::now();
    s.user.Answer(QMessageBox::Ok);
    return answered;
}

std::size_t RebootDatagramSize(const std::string& mac)
{
    return BuildRebootRequest(mac, "admin", "admin").size;
}

std::string Lines(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& line : lines)
        out += "  " + line + "\n";
    return out;
}

} // namespace

// A device with DHCP on (lab arguments: see the test list). Wrong password
// first, then the right one and a reboot into the new address.
void SetupIpWithReboot(Scenario& s)
{
    const std::string mac = "02:00:00:BB:00:01";
    OpenSetupIp(s);
    ExpectForm(s, QStringLiteral("198.18.1.20"), QStringLiteral("255.255.0.0"), QStringLiteral("198.18.0.254"), true);

    s.user.TypeAddressField(kSetupIpTitle, "IDC_IP_ADDRESS", 3, QStringLiteral("77"));
    ExpectEqual(s.user.Address(kSetupIpTitle, "IDC_IP_ADDRESS"), QStringLiteral("198.18.1.77"), "edited address");
    s.user.Type(kSetupIpTitle, "IDC_EDIT_USERNAME", QStringLiteral("admin"));
    s.user.Type(kSetupIpTitle, "IDC_EDIT_PASSWORD", QStringLiteral("wrong"));
    s.user.Click(kSetupIpTitle, "IDC_BTN_APPLY");
    ExpectMessageBox(s, QStringLiteral("Authentication Error!"), kSetupIpTitle, 5s);
    s.user.Answer(QMessageBox::Ok);

    // Refilled with what the user entered, and open for another try.
    s.user.WaitEnabled(kSetupIpTitle, "IDC_BTN_APPLY", true, 2s);
    ExpectEqual(s.user.Address(kSetupIpTitle, "IDC_IP_ADDRESS"), QStringLiteral("198.18.1.77"),
                "address after the refused change");
    s.user.Type(kSetupIpTitle, "IDC_EDIT_PASSWORD", QStringLiteral("admin"));
    const Clock::time_point answered = ApplyAndReboot(s);

    // The line under the greyed form counts the wait down. (The re-read's
    // line may never be seen here: the device can answer the first query
    // before the loop's first check.)
    Note(s.user.WaitForLabel(kSetupIpTitle, "IDC_TEXT_PROGRESS", kRestartLine, 3s).toStdString());
    Note(s.user.WaitForLabel(kSetupIpTitle, "IDC_TEXT_PROGRESS", kRestartLine + QStringLiteral("25 s"), 8s)
             .toStdString());

    // The 30-second wait, then the re-read finds the device at its new address.
    s.user.WaitUntilClosed(kSetupIpTitle, 45s);
    ExpectWithin(Since(answered), 29500ms, 40s, "reboot wait and re-read");
    const TableSeen table = s.user.Table();
    ExpectEqual(table.rows.at(0).value(kColIp), QStringLiteral("198.18.1.77"), "IP address column after the reboot");
    ExpectEqual(table.rows.at(0).value(kColSsid), QStringLiteral("office"), "SSID keeps its discovery value");
    ExpectEqual(table.rows.at(0).value(kColMask), QStringLiteral("255.255.0.0"), "mask keeps its discovery value");
    ExpectEqual(table.rows.at(0).value(kColMac), QString::fromStdString(mac), "MAC address");

    // Refused change, accepted change, reboot.
    const auto commands = ReceivedLines(s.lab.ApsimLog(), 2, mac);
    Expect(commands.size() == 3, "three commands reached the device:\n" + Lines(commands));
    const std::string reboot = "recv " + std::to_string(RebootDatagramSize(mac)) + " bytes type 2";
    Expect(commands.back().starts_with(reboot), "the last command is the reboot:\n" + Lines(commands));
    CloseMainWindow(s);
}

// Change, reboot; answers Ok to the question and the note. Returns when
// the note has been answered.
Clock::time_point ChangeAndReboot(Scenario& s, int ipField, const QString& ipValue, int maskField,
                                  const QString& maskValue)
{
    if (ipField >= 0)
        s.user.TypeAddressField(kSetupIpTitle, "IDC_IP_ADDRESS", ipField, ipValue);
    if (maskField >= 0)
        s.user.TypeAddressField(kSetupIpTitle, "IDC_IP_NETMASK", maskField, maskValue);
    s.user.Type(kSetupIpTitle, "IDC_EDIT_USERNAME", QStringLiteral("admin"));
    s.user.Type(kSetupIpTitle, "IDC_EDIT_PASSWORD", QStringLiteral("admin"));
    return ApplyAndReboot(s);
}

// A device that accepts the reboot and never answers again: the dialog says
// so, with the address the device should be at, before it closes; the row
// keeps the address last heard.
void SetupIpNeverBack(Scenario& s)
{
    OpenSetupIp(s);
    ExpectForm(s, QStringLiteral("198.18.1.20"), QStringLiteral("255.255.0.0"), QStringLiteral("198.18.0.254"), false);
    const Clock::time_point answered = ChangeAndReboot(s, 3, QStringLiteral("77"), -1, {});
    // While it waits, the dialog takes input: Close asks, and No waits on.
    Note(s.user.WaitForLabel(kSetupIpTitle, "IDC_TEXT_PROGRESS", kRestartLine, 3s).toStdString());
    s.user.Click(kSetupIpTitle, "IDCANCEL");
    const MessageBoxSeen stop = s.user.WaitForMessageBox(3s);
    ExpectEqual(stop.text, QStringLiteral("The device is restarting. Stop waiting for it?"), "the stop question");
    ExpectEqual(stop.ownerTitle, kSetupIpTitle, "owner of the stop question");
    Expect(stop.icon == QMessageBox::Question, "the stop question has the question icon");
    Note("stop question buttons: " + stop.buttons.join(QLatin1Char(',')).toStdString());
    s.user.Answer(QMessageBox::No);

    ExpectMessageBox(s,
                     QStringLiteral("The device did not answer after restarting. It may be at its new address "
                                    "198.18.1.77 or still restarting. Press Discover to look for it."),
                     kSetupIpTitle, 95s);
    ExpectWithin(Since(answered), 82s, 90s, "the reboot wait and the whole re-read");
    Expect(s.user.IsShown(kSetupIpTitle), "told before the dialog closes");
    s.user.Answer(QMessageBox::Ok);
    s.user.WaitUntilClosed(kSetupIpTitle, 3s);
    ExpectEqual(s.user.Table().rows.at(0).value(kColIp), QStringLiteral("198.18.1.20"),
                "the row keeps the address last heard");
    CloseMainWindow(s);
}

// A change of address and netmask with a reboot: the row shows the address
// the device answers from and the netmask it reports, the other cells stay.
void SetupIpNetmaskInRow(Scenario& s)
{
    OpenSetupIp(s);
    ExpectForm(s, QStringLiteral("198.18.1.20"), QStringLiteral("255.255.0.0"), QStringLiteral("198.18.0.254"), false);
    ChangeAndReboot(s, 3, QStringLiteral("78"), 2, QStringLiteral("254"));
    s.user.WaitUntilClosed(kSetupIpTitle, 45s);
    Expect(!s.user.IsMessageBoxShown(), "no message after a device that came back");
    const TableSeen table = s.user.Table();
    ExpectEqual(table.rows.at(0).value(kColIp), QStringLiteral("198.18.1.78"), "IP address column after the reboot");
    ExpectEqual(table.rows.at(0).value(kColMask), QStringLiteral("255.255.254.0"), "netmask as the device reports it");
    ExpectEqual(table.rows.at(0).value(kColSsid), QStringLiteral("office"), "SSID keeps its discovery value");
    CloseMainWindow(s);
}

// Cancel at the reboot question: no reboot command, the re-read finds the
// device at once at its old address.
void SetupIpCancelReboot(Scenario& s)
{
    const QString address = QString::fromStdString(s.lab.apAddresses.at(0));
    const std::string mac = "02:00:00:00:00:01";
    OpenSetupIp(s);
    ExpectForm(s, address, QStringLiteral("255.254.0.0"), QStringLiteral("198.18.0.254"), false);

    s.user.TypeAddressField(kSetupIpTitle, "IDC_IP_ADDRESS", 3, QStringLiteral("50"));
    s.user.Type(kSetupIpTitle, "IDC_EDIT_USERNAME", QStringLiteral("admin"));
    s.user.Type(kSetupIpTitle, "IDC_EDIT_PASSWORD", QStringLiteral("admin"));
    s.user.Click(kSetupIpTitle, "IDC_BTN_APPLY");
    ExpectQuestion(s);
    const Clock::time_point answered = Clock::now();
    s.user.Answer(QMessageBox::Cancel);

    s.user.WaitUntilClosed(kSetupIpTitle, 10s);
    ExpectWithin(Since(answered), 0ms, 2500ms, "re-read after Cancel");
    ExpectEqual(s.user.Table().rows.at(0).value(kColIp), address, "IP address column keeps the old address");

    const auto commands = ReceivedLines(s.lab.ApsimLog(), 2, mac);
    Expect(commands.size() == 1, "only the settings change reached the device:\n" + Lines(commands));
    Expect(!commands.front().starts_with("recv " + std::to_string(RebootDatagramSize(mac)) + " bytes"),
           "the command is not a reboot:\n" + Lines(commands));

    // The device did not reboot: it answers at once, from its old address.
    s.user.Click(kMainTitle, "IDC_BTN_DISCOVER");
    s.user.WaitForRows(1, 3s);
    ExpectEqual(s.user.Table().rows.at(0).value(kColIp), address, "address at the next Discover");
    CloseMainWindow(s);
}

// A device that never answers the detail query.
void DetailTimeOut(Scenario& s)
{
    const QString address = QString::fromStdString(s.lab.apAddresses.at(0));
    OpenMainWindow(s);
    s.user.Click(kMainTitle, "IDC_BTN_DISCOVER");
    s.user.WaitForRows(1, 3s);
    s.user.ClickRow(0);
    const Clock::time_point start = Clock::now();
    s.user.Click(kMainTitle, "IDC_BTN_SETUPIP");
    s.user.WaitForWindow(kSetupIpTitle, 3s);

    ExpectMessageBox(s, QStringLiteral("Time Out!"), kSetupIpTitle, 8s);
    ExpectWithin(Since(start), 4900ms, 7500ms, "\"Time Out!\" after the detail period");
    Expect(!s.user.IsEnabled(kSetupIpTitle, "IDC_BTN_APPLY"), "the form was never filled");
    s.user.Answer(QMessageBox::Ok);
    s.user.WaitUntilClosed(kSetupIpTitle, 3s);

    ExpectEqual(s.user.Table().rows.at(0).value(kColIp), address, "IP address column unchanged");
    Expect(s.user.IsEnabled(kMainTitle, "IDC_BTN_DISCOVER"), "Discover enabled");
    CloseMainWindow(s);
}

// Two devices; the one whose Setup IP is open answers 1.5 s late. Someone
// else's Discover (a broadcast from this host's ephemeral port) makes the
// other device answer at once, while the detail query is still open. Its
// reply is not the device's: the form waits for the device's own.
void DetailWithAnotherDeviceAnswering(Scenario& s)
{
    OpenMainWindow(s);
    const TableSeen table = DiscoverRows(s, 2, 4s);
    const int slow = table.Find(kColSsid, QStringLiteral("slow"));
    Expect(slow >= 0, "the slow device is listed\n" + table.Describe());
    s.user.ClickRow(slow);
    s.user.Click(kMainTitle, "IDC_BTN_SETUPIP");
    s.user.WaitForWindow(kSetupIpTitle, 3s);

    PosixSocketLayer sockets;
    auto other = sockets.Open();
    Expect(other && other->Bind(0) && other->SetBroadcast(), "a socket for the other Discover");
    const Datagram discovery = BuildDiscoveryRequest();
    Expect(other->SendTo(discovery.data(), discovery.size, DevicePort, BroadcastAddress) >= 0,
           "the other Discover is sent");
    Note("other Discover sent");

    ExpectForm(s, QStringLiteral("198.18.1.30"), QStringLiteral("255.255.0.0"), QStringLiteral("198.18.0.1"), false);
    s.user.Click(kSetupIpTitle, "IDCANCEL");
    s.user.WaitUntilClosed(kSetupIpTitle, 5s);
    ExpectEqual(s.user.Table().rows.at(static_cast<std::size_t>(slow)).value(kColIp), QStringLiteral("198.18.1.30"),
                "the row keeps the device's own address");
    CloseMainWindow(s);
}

} // namespace e2e
