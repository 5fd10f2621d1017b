// A computer with two links (scripts/lab --links 2): discovery out of every
// interface, the Interface column, the subnet warning, Setup IP behind the
// link without the default route, and the diagnoses of a silent Discover.

#include "Scenario.h"

#include "engine/NetworkInterface.h"
#include "common/InterfaceTexts.h"

#include <cstdlib>

namespace e2e {
namespace {

using namespace std::chrono_literals;

// The lab's link k: lab<k-1>, 198.18.k.1/24.
pemblor::NetworkInterface LabLink(int link)
{
    pemblor::NetworkInterface usable;
    usable.name = "lab" + std::to_string(link - 1);
    usable.address = 0xC6120001u | (static_cast<std::uint32_t>(link) << 8);
    usable.netmask = 0xFFFFFF00u;
    return usable;
}

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

void RunInToolHost(const std::string& command)
{
    Note("running: " + command);
    Expect(std::system(command.c_str()) == 0, "the lab command succeeds: " + command);
}

// The question Connect to Web Server asks about a warned row.
void ExpectOpenAnyway(Scenario& s, const QString& text)
{
    const MessageBoxSeen box = s.user.WaitForMessageBox(3s);
    ExpectEqual(box.text, text, "question before the page");
    ExpectEqual(box.ownerTitle, kMainTitle, "owner of the question");
    Expect(box.icon == QMessageBox::Question, "the question has the question icon");
    ExpectEqual(box.buttons.join(QLatin1Char(',')), QStringLiteral("Cancel,OK"), "buttons of the question");
}

// Discover in a fresh main window ends in "Find no devices!" with the
// diagnosis of `cause` on the lab's links.
void ExpectSilence(Scenario& s, pemblor::SilenceCause cause)
{
    OpenMainWindow(s);
    s.user.Click(kMainTitle, "IDC_BTN_DISCOVER");
    ExpectMessageBox(s, Q(pemblor::FindNoDevicesText({cause, s.lab.toolInterfaces})), kMainTitle, 8s);
    s.user.Answer(QMessageBox::Ok);
    CloseMainWindow(s);
}

} // namespace

// Two access points behind each link and a factory-fresh one behind lab1
// whose address is outside lab1's network (lab arguments: see the test list).
void LinksDiscover(Scenario& s)
{
    const QString outside = QStringLiteral("198.18.200.5");
    OpenMainWindow(s);
    s.user.Click(kMainTitle, "IDC_BTN_DISCOVER");
    s.user.WaitForRows(static_cast<int>(s.lab.apInterface.size()), 3s);
    const TableSeen table = s.user.Table();
    Note("listed:\n" + table.Describe());
    ExpectEqual(table.headings.join(QLatin1Char('|')),
                QStringLiteral("No|SSID|IP Address|Subnet Mask|Channel|MAC Address|Interface|Last seen"), "column headings");
    Expect(table.rows.size() == s.lab.apInterface.size(), "one row per access point\n" + table.Describe());

    for (std::size_t row = 0; row < table.rows.size(); ++row) {
        const std::string address = table.rows[row].value(kColIp).toStdString();
        const auto behind = s.lab.apInterface.find(address);
        Expect(behind != s.lab.apInterface.end(), "row " + std::to_string(row) + " is a lab access point");
        ExpectEqual(table.rows[row].value(kColInterface), Q(behind->second), "interface of " + address);
        if (Q(address) == outside) {
            Expect(table.warnedColumns[row] == kColIp, "the outside address carries the warning icon");
            // The reason first; how its password would travel follows.
            const QString reason = Q(*pemblor::OutsideSubnetReason(address, LabLink(2)));
            ExpectEqual(table.warnings[row].left(reason.size()), reason, "warning tool tip");
        } else {
            Expect(table.warnedColumns[row] < 0, "no warning on " + address + ", inside its interface's network");
        }
    }
    // The same query went out of both links.
    for (int link = 1; link <= 2; ++link) {
        const auto queries = ReceivedLines(s.lab.ApsimLog(link), 0);
        Expect(queries.size() == 1, "link " + std::to_string(link) + " heard the discovery once:\n" +
                                        (queries.empty() ? std::string("nothing") : queries.front()));
    }

    // The warned row asks first, by the button and by the context menu.
    const QString question = Q(pemblor::OpenAnywayQuestion(outside.toStdString(), LabLink(2)));
    s.user.ClickRow(table.Find(kColIp, outside));
    s.user.WaitEnabled(kMainTitle, "IDC_BTN_WEBSERVER", true, 2s);
    s.user.Click(kMainTitle, "IDC_BTN_WEBSERVER");
    ExpectOpenAnyway(s, question);
    s.user.Answer(QMessageBox::Cancel);
    Expect(s.urls.Urls().isEmpty(), "Cancel opens no page");
    s.user.RightClickRow(table.Find(kColIp, outside));
    s.user.WaitForMenu(2s);
    s.user.ChooseMenuItem(QStringLiteral("Connect to web server ..."));
    ExpectOpenAnyway(s, question);
    s.user.Answer(QMessageBox::Ok);
    s.ui.WaitFor("the page opened", 2s, [&] { return s.urls.Urls().size() == 1; });
    ExpectEqual(s.urls.Urls().last(), QStringLiteral("http://") + outside, "URL after OK");

    // A row inside its network opens at once.
    const QString inside = Q(s.lab.apAddresses.front());
    s.user.ClickRow(table.Find(kColIp, inside));
    s.user.Click(kMainTitle, "IDC_BTN_WEBSERVER");
    s.ui.WaitFor("the second page opened", 2s, [&] { return s.urls.Urls().size() == 2; });
    ExpectEqual(s.urls.Urls().last(), QStringLiteral("http://") + inside, "URL of a row inside its network");
    Expect(!s.user.IsMessageBoxShown(), "no question for a row inside its network");
    CloseMainWindow(s);
}

// Setup IP with a reboot for the access point behind lab1, the link without
// the default route (lab arguments: see the test list).
void LinksSetupIpReboot(Scenario& s)
{
    const QString mac = QStringLiteral("02:00:00:BB:00:02");
    OpenMainWindow(s);
    s.user.Click(kMainTitle, "IDC_BTN_DISCOVER");
    s.user.WaitForRows(static_cast<int>(s.lab.apInterface.size()), 3s);
    const int row = s.user.Table().Find(kColMac, mac);
    Expect(row >= 0, "the access point behind lab1 is listed\n" + s.user.Table().Describe());
    ExpectEqual(s.user.Table().rows[static_cast<std::size_t>(row)].value(kColInterface), QStringLiteral("lab1"),
                "its interface");
    s.user.ClickRow(row);
    s.user.Click(kMainTitle, "IDC_BTN_SETUPIP");
    s.user.WaitForWindow(kSetupIpTitle, 3s);
    s.user.WaitEnabled(kSetupIpTitle, "IDC_BTN_APPLY", true, 3s);
    ExpectEqual(s.user.Address(kSetupIpTitle, "IDC_IP_ADDRESS"), QStringLiteral("198.18.2.20"), "the form's address");

    s.user.TypeAddressField(kSetupIpTitle, "IDC_IP_ADDRESS", 3, QStringLiteral("77"));
    s.user.Type(kSetupIpTitle, "IDC_EDIT_USERNAME", QStringLiteral("admin"));
    s.user.Type(kSetupIpTitle, "IDC_EDIT_PASSWORD", QStringLiteral("admin"));
    s.user.Click(kSetupIpTitle, "IDC_BTN_APPLY");
    const MessageBoxSeen question = s.user.WaitForMessageBox(5s);
    Expect(question.icon == QMessageBox::Question, "the reboot question: " + question.text.toStdString());
    s.user.Answer(QMessageBox::Ok);
    s.user.WaitForMessageBox(2s);
    s.user.Answer(QMessageBox::Ok);
    s.user.WaitUntilClosed(kSetupIpTitle, 45s);

    const TableSeen table = s.user.Table();
    const QStringList& cells = table.rows.at(static_cast<std::size_t>(row));
    ExpectEqual(cells.value(kColIp), QStringLiteral("198.18.2.77"), "IP address column after the reboot");
    ExpectEqual(cells.value(kColInterface), QStringLiteral("lab1"), "interface after the reboot");
    Expect(table.warnedColumns.at(static_cast<std::size_t>(row)) < 0, "no warning: the new address is inside");

    // Everything for this device went out of lab1 only.
    const auto onLab1 = ReceivedLines(s.lab.ApsimLog(2), 2, mac.toStdString());
    const auto onLab0 = ReceivedLines(s.lab.ApsimLog(1), 2, mac.toStdString());
    Expect(onLab1.size() == 2, "the change and the reboot reached lab1's access point");
    Expect(onLab0.empty(), "no command for it went out of lab0");
    CloseMainWindow(s);
}

// Each diagnosis under "Find no devices!"; the lab sets up its cause
// (see the test list), except for the interfaces, which this case takes down.
void DiagnoseBlocked(Scenario& s)
{
    ExpectSilence(s, pemblor::SilenceCause::InboundBlocked);
}

void DiagnoseNobody(Scenario& s)
{
    ExpectSilence(s, pemblor::SilenceCause::NobodyAnswered);
}

void DiagnoseNoInterface(Scenario& s)
{
    OpenMainWindow(s);
    for (const std::string& name : s.lab.toolInterfaces)
        RunInToolHost("ip link set dev " + name + " down");
    s.user.Click(kMainTitle, "IDC_BTN_DISCOVER");
    ExpectMessageBox(s, Q(pemblor::FindNoDevicesText({pemblor::SilenceCause::NoInterface, {}})), kMainTitle, 8s);
    s.user.Answer(QMessageBox::Ok);

    // The interfaces come back; the next Discover uses them.
    for (const std::string& name : s.lab.toolInterfaces)
        RunInToolHost("ip link set dev " + name + " up");
    // The kernel reports the carrier a moment after the link is set up; an
    // interface without it is rightly not sent on.
    for (const std::string& name : s.lab.toolInterfaces)
        RunInToolHost("for i in $(seq 100); do ip -o link show dev " + name +
                      " | grep -q LOWER_UP && exit 0; sleep 0.02; done; exit 1");
    s.user.WaitEnabled(kMainTitle, "IDC_BTN_DISCOVER", true, 2s);
    s.user.Click(kMainTitle, "IDC_BTN_DISCOVER");
    s.user.WaitForRows(static_cast<int>(s.lab.apInterface.size()), 5s);
    CloseMainWindow(s);
}

} // namespace e2e
