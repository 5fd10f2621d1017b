// Discovery and the device table; the commands that open a device's web page.

#include "Scenario.h"

#include "common/InterfaceTexts.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

QString GeneratedMac(int number)
{
    return QStringLiteral("02:00:00:00:00:%1").arg(number, 2, 16, QLatin1Char('0')).toUpper();
}

// Rows numbered 1..n from the top.
void ExpectNumbered(const TableSeen& table)
{
    for (std::size_t row = 0; row < table.rows.size(); ++row)
        ExpectEqual(table.rows[row].value(0), QString::number(row + 1), "number of row " + std::to_string(row));
}

// The row of a simulated access point that answers as a well-behaved agent.
void ExpectGeneratedRow(const TableSeen& table, const LabEnv& lab, int number)
{
    const QString mac = GeneratedMac(number);
    const int row = table.Find(kColMac, mac);
    Expect(row >= 0, "a row with MAC " + mac.toStdString() + "\n" + table.Describe());
    const QStringList& cells = table.rows[static_cast<std::size_t>(row)];
    const std::string where = "row of " + mac.toStdString();
    ExpectEqual(cells.value(kColSsid), QStringLiteral("lab-%1").arg(number), where + ", SSID");
    ExpectEqual(cells.value(kColIp), QString::fromStdString(lab.apAddresses.at(static_cast<std::size_t>(number - 1))),
                where + ", IP address");
    ExpectEqual(cells.value(kColMask), QStringLiteral("255.254.0.0"), where + ", subnet mask");
    ExpectEqual(cells.value(kColChannel), QString::number(number), where + ", channel");
}

// Discover, then wait for the end of the cycle (Discover enabled again).
// Returns the time from the click to that end.
std::chrono::milliseconds DiscoverCycle(Scenario& s)
{
    const Clock::time_point start = Clock::now();
    s.user.Click(kMainTitle, "IDC_BTN_DISCOVER");
    s.user.WaitEnabled(kMainTitle, "IDC_BTN_DISCOVER", true, 8s);
    const auto took = Since(start);
    Note("discovery cycle ended after " + std::to_string(took.count()) + " ms");
    return took;
}

} // namespace

void DiscoverThreeDevices(Scenario& s)
{
    OpenMainWindow(s);
    const TableSeen empty = s.user.Table();
    ExpectEqual(empty.headings.join(QLatin1Char('|')),
                QStringLiteral("No|SSID|IP Address|Subnet Mask|Channel|MAC Address|Interface|Last seen"), "column headings");
    Expect(empty.rows.empty(), "no rows before the first Discover");

    // Enter starts the first cycle: Discover is the default button and has
    // the focus. The second cycle clears the table and numbers from 1 again.
    for (int cycle = 1; cycle <= 2; ++cycle) {
        const Clock::time_point start = Clock::now();
        if (cycle == 1)
            s.user.PressKey(kMainTitle, Qt::Key_Return);
        else
            s.user.Click(kMainTitle, "IDC_BTN_DISCOVER");
        s.user.WaitForRows(3, 3s);
        Note("cycle " + std::to_string(cycle) + ": 3 rows after " + std::to_string(Since(start).count()) + " ms");
        Expect(!s.user.IsEnabled(kMainTitle, "IDC_BTN_DISCOVER"), "Discover disabled while the cycle runs");
        Expect(!s.user.IsEnabled(kMainTitle, "IDC_BTN_SETUPIP"), "Setup IP disabled by Discover");
        Expect(!s.user.IsEnabled(kMainTitle, "IDC_BTN_WEBSERVER"), "Connect to Web Server disabled by Discover");

        s.user.WaitEnabled(kMainTitle, "IDC_BTN_DISCOVER", true, 8s);
        ExpectWithin(Since(start), 4900ms, 7500ms, "end of the discovery cycle");
        Expect(!s.user.IsMessageBoxShown(), "no message box when devices answered");

        const TableSeen table = s.user.Table();
        Expect(table.rows.size() == 3, "3 rows at the end of the cycle\n" + table.Describe());
        ExpectNumbered(table);
        for (int number = 1; number <= 3; ++number)
            ExpectGeneratedRow(table, s.lab, number);
    }
    CloseMainWindow(s);
}

void FindNoDevices(Scenario& s)
{
    OpenMainWindow(s);
    const Clock::time_point start = Clock::now();
    s.user.Click(kMainTitle, "IDC_BTN_DISCOVER");
    // The query went out of the lab's one interface and came back there.
    ExpectMessageBox(s, QString::fromStdString(pemblor::FindNoDevicesText({pemblor::SilenceCause::NobodyAnswered, {"lab0"}})),
                     kMainTitle, 8s);
    ExpectWithin(Since(start), 4900ms, 7500ms, "\"Find no devices!\" after the discovery period");
    Expect(s.user.IsEnabled(kMainTitle, "IDC_BTN_DISCOVER"), "Discover enabled while the box is shown");
    Expect(s.user.RowCount() == 0, "no rows");
    s.user.Answer(QMessageBox::Ok);
    CloseMainWindow(s);
}

// One access point whose replies come from another address than its
// IP_ADDR setting (lab arguments: see the test list).
void SenderAddressAndWebPage(Scenario& s)
{
    const QString sender = QStringLiteral("198.18.7.7");
    const QString url = QStringLiteral("http://") + sender;

    OpenMainWindow(s);
    s.user.Click(kMainTitle, "IDC_BTN_DISCOVER");
    s.user.WaitForRows(1, 3s);
    const TableSeen table = s.user.Table();
    ExpectEqual(table.rows[0].value(kColSsid), QStringLiteral("elsewhere"), "SSID");
    ExpectEqual(table.rows[0].value(kColIp), sender, "IP address column (the sender's address)");
    ExpectEqual(table.rows[0].value(kColMac), QStringLiteral("02:00:00:AA:00:01"), "MAC address");

    Expect(!s.user.IsEnabled(kMainTitle, "IDC_BTN_WEBSERVER"), "Connect to Web Server disabled before a click");
    s.user.ClickRow(0);
    s.user.WaitEnabled(kMainTitle, "IDC_BTN_WEBSERVER", true, 2s);
    Expect(s.user.IsEnabled(kMainTitle, "IDC_BTN_SETUPIP"), "a click on a row enables Setup IP");

    const auto expectUrls = [&](int count, const std::string& how) {
        s.ui.WaitFor(std::to_string(count) + " URLs handed to the desktop", 2s,
                     [&] { return s.urls.Urls().size() >= count; });
        const QStringList urls = s.urls.Urls();
        Expect(urls.size() == count, "exactly " + std::to_string(count) + " URLs: " +
                                         urls.join(QLatin1Char(' ')).toStdString());
        ExpectEqual(urls.last(), url, "URL opened by " + how);
        Note("URL by " + how + ": " + urls.last().toStdString());
    };

    s.user.Click(kMainTitle, "IDC_BTN_WEBSERVER");
    expectUrls(1, "the button");
    s.user.DoubleClickRow(0);
    expectUrls(2, "a double click");
    s.user.RightClickRow(0);
    const QStringList items = s.user.WaitForMenu(2s);
    ExpectEqual(items.join(QLatin1Char('|')), QStringLiteral("Setup IP ...|Connect to web server ...|Export list..."),
                "context menu items");
    s.user.ChooseMenuItem(QStringLiteral("Connect to web server ..."));
    expectUrls(3, "the context menu");
    Expect(!s.user.IsShown(kSetupIpTitle), "no Setup IP dialog opened");
    CloseMainWindow(s);
}

// Two well-behaved access points next to five that send malformed replies
// (lab arguments: see the test list). The tool lists what it can and goes on.
void MalformedReplies(Scenario& s)
{
    OpenMainWindow(s);
    DiscoverCycle(s);
    const TableSeen table = s.user.Table();
    Note("listed:\n" + table.Describe());
    // Every reply names a MAC of its own, so each of the seven is one row.
    Expect(table.rows.size() == 7, "7 rows\n" + table.Describe());
    ExpectNumbered(table);
    ExpectGeneratedRow(table, s.lab, 1);
    ExpectGeneratedRow(table, s.lab, 2);

    // Where a count or a length runs past the datagram, the entries before
    // the fault still fill their cells.
    for (const QString& ssid : {QStringLiteral("count-past-end"), QStringLiteral("length-past-end")}) {
        const int row = table.Find(kColSsid, ssid);
        Expect(row >= 0, "a row with SSID " + ssid.toStdString());
        Expect(table.rows[static_cast<std::size_t>(row)].value(kColIp).startsWith(QStringLiteral("198.18.2.")),
               "the row of " + ssid.toStdString() + " shows its sender's address");
    }

    // These two replies are well-formed datagrams; only their SSIDs are odd.
    const int control = table.Find(kColMac, QStringLiteral("02:00:00:EE:00:04"));
    Expect(control >= 0, "the reply with control characters in its SSID is listed");
    Expect(table.rows[static_cast<std::size_t>(control)].value(kColSsid).startsWith(QStringLiteral("control-chars")),
           "its SSID cell starts with the SSID");
    const int huge = table.Find(kColMac, QStringLiteral("02:00:00:EE:00:03"));
    Expect(huge >= 0, "the 2048-byte reply is listed");
    const QString hugeSsid = table.rows[static_cast<std::size_t>(huge)].value(kColSsid);
    Expect(hugeSsid.startsWith(QStringLiteral("huge-entry")) && hugeSsid.size() > 1800,
           "its SSID cell holds the whole long value (" + std::to_string(hugeSsid.size()) + " characters)");
    // Two degenerate entries come first and take columns 1 and 2, so the
    // SSID lands in column 3, the sender's address in 4, the mask in 5 and
    // the channel and MAC text past the last column.
    const int zero = table.Find(kColMask, QStringLiteral("zero-length-entries"));
    Expect(zero >= 0, "the row of the access point that sends zero-length entries\n" + table.Describe());
    if (zero >= 0) {
        const QStringList& row = table.rows[static_cast<std::size_t>(zero)];
        ExpectEqual(row.value(kColSsid), QString(), "zero-length entries, column 1");
        ExpectEqual(row.value(kColIp), QString(), "zero-length entries, column 2");
        ExpectEqual(row.value(kColChannel), QStringLiteral("198.18.2.5"), "zero-length entries, column 4");
        ExpectEqual(row.value(kColMac), QStringLiteral("255.254.0.0"), "zero-length entries, column 5");
    }
    Expect(!s.user.IsMessageBoxShown(), "no message box");

    // The receive thread is still there: the same replies again.
    DiscoverCycle(s);
    Expect(s.user.Table().rows.size() == table.rows.size(), "the second Discover lists the same rows");
    CloseMainWindow(s);
}

} // namespace e2e
