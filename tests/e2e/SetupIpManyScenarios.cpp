#include "Scenario.h"


#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace e2e {

using namespace std::chrono_literals;

namespace {

const QString kManyTitle = QStringLiteral("Setup IP for 6 devices");

QWidget* ManyDialog()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->objectName() == QLatin1String("SetupIpMany"))
            return widget;
    return nullptr;
}

// The preview as MAC -> {planned address, note or status}; call on the
// user-interface thread.
std::map<QString, std::pair<QString, QString>> Preview()
{
    std::map<QString, std::pair<QString, QString>> rows;
    QWidget* dialog = ManyDialog();
    auto* table = dialog ? dialog->findChild<QTableWidget*>(QStringLiteral("preview")) : nullptr;
    for (int row = 0; table && row < table->rowCount(); ++row)
        rows[table->item(row, 2)->text()] = {table->item(row, 4)->text(), table->item(row, 5)->text()};
    return rows;
}

QString Message()
{
    QWidget* dialog = ManyDialog();
    auto* label = dialog ? dialog->findChild<QLabel*>(QStringLiteral("message")) : nullptr;
    return label ? label->text() : QString();
}

int CommandsLogged(const std::string& mac, const std::string& what)
{
    const char* log = std::getenv("PEMBLOR_LAB_COMMAND_LOG");
    if (!log)
        return -1;
    const std::vector<std::string> lines = ReadLines(log);
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.rfind(mac + " " + what, 0) == 0;
    }));
}

// From the start address to the password by the keyboard (netmask,
// gateway, DHCP, user name), typing admin/admin.
void TypeCredentials(Scenario& s, const QString& title)
{
    for (int i = 0; i < 4; ++i)
        s.user.PressKey(title, Qt::Key_Tab);
    s.user.TypeKeys(title, QStringLiteral("admin"));
    s.user.PressKey(title, Qt::Key_Tab);
    s.user.TypeKeys(title, QStringLiteral("admin"));
}

} // namespace

// Six devices selected, the start address typed, one set of credentials,
// Apply with the reboot: three are verified at their new addresses, one
// refuses the credentials, one whose results carry a zero MAC is verified
// too, and one never comes back from its reboot. The list then shows the
// new addresses and the outcomes are exported; the same plan applied again
// sends the verified devices nothing.
void SetupIpMany(Scenario& s)
{
    OpenMainWindow(s);
    DiscoverRows(s, 6, 3s);
    s.user.ClickRow(0);
    s.user.PressKey(kMainTitle, Qt::Key_A, Qt::ControlModifier);
    s.user.Click(kMainTitle, "IDC_BTN_SETUPIP");
    s.user.WaitForWindow(kManyTitle, 5s);
    Note("Setup IP for 6 devices open");

    // Part of the address first: no plan yet; then the whole of it.
    s.user.TypeKeys(kManyTitle, QStringLiteral("198.18.1."));
    s.ui.WaitFor("no plan for an incomplete start address", 3s, [] { return Preview().begin()->second.first.isEmpty(); });
    s.user.TypeKeys(kManyTitle, QStringLiteral("50"));
    s.ui.WaitFor("the preview follows the typed start address", 3s, [] {
        const auto rows = Preview();
        return rows.size() == 6 && rows.begin()->second.first.startsWith(QStringLiteral("198.18.1.5"));
    });
    TypeCredentials(s, kManyTitle);
    const auto planned = s.ui.Query([] { return Preview(); });
    s.user.PressKey(kManyTitle, Qt::Key_Return);
    s.ui.WaitFor("the devices are being read or changed", 3s, [] {
        for (const auto& [mac, row] : Preview())
            if (row.second == QLatin1String("Reading") || row.second == QLatin1String("Changing") ||
                row.second.startsWith(QLatin1String("Rebooting")) || row.second.startsWith(QLatin1String("Waiting")))
                return true;
        return false;
    });
    s.ui.WaitFor("a device counting its restart", 10s, [] {
        for (const auto& [mac, row] : Preview())
            if (row.second.startsWith(QLatin1String("Waiting ")) && row.second.endsWith(QLatin1String(" s")))
                return true;
        return false;
    });
    Note("statuses follow the devices");
    // The one that never returns is given up 90 s after its reboot.
    s.ui.WaitFor("the summary", 120s, [] { return !Message().isEmpty() && !Message().startsWith(QLatin1String("Apply")); });
    ExpectEqual(s.ui.Query([] { return Message(); }),
                QStringLiteral("4 verified, 1 authentication error, 1 not seen at its new address"), "the summary");
    const auto ended = s.ui.Query([] { return Preview(); });
    ExpectEqual(ended.at(QStringLiteral("02:00:00:DD:00:09")).second, QStringLiteral("Failed: Authentication Error!"),
                "the device with other credentials");
    Expect(ended.at(QStringLiteral("02:00:00:DD:00:08"))
               .second.startsWith(QStringLiteral("Failed: The device did not answer after restarting.")),
           "the device that never returned");
    ExpectEqual(ended.at(QStringLiteral("02:00:00:DD:00:07")).second, QStringLiteral("Verified"),
                "the device with zero-MAC results");
    Expect(CommandsLogged("02:00:00:DD:00:09", "set refused") == 1 && CommandsLogged("02:00:00:DD:00:09", "reboot") == 0,
           "one refused change and no reboot for the device with other credentials");
    Expect(CommandsLogged("02:00:00:00:00:01", "set accepted") == 1 &&
               CommandsLogged("02:00:00:00:00:01", "reboot accepted") == 1,
           "one change and one reboot for a verified device");

    // Export result...: the focus is on it once the job has ended.
    s.user.PressKey(kManyTitle, Qt::Key_Space);
    const std::string path = s.lab.dir + "/setup-ip-result.csv";
    s.user.AnswerSaveFile(path);
    s.ui.WaitFor("the exported result", 3s, [&] { return ReadLines(path).size() == 7; });
    const std::vector<std::string> lines = ReadLines(path);
    Expect(lines[0].rfind("mac,result,ip,before_ip,", 0) == 0, "the CSV header");
    Expect(std::count_if(lines.begin(), lines.end(),
                         [](const std::string& line) { return line.find(",verified,") != std::string::npos; }) == 4,
           "four verified in the CSV");

    s.user.PressKey(kManyTitle, Qt::Key_Escape);
    s.user.WaitUntilClosed(kManyTitle, 3s);
    // The list shows where the verified devices answer from now.
    const TableSeen table = s.user.Table();
    for (const auto& [mac, row] : planned) {
        if (mac == QLatin1String("02:00:00:DD:00:09") || mac == QLatin1String("02:00:00:DD:00:08"))
            continue;
        const int at = table.Find(5, mac);
        Expect(at >= 0 && table.rows.at(static_cast<std::size_t>(at)).at(2) == row.first,
               "the list shows " + mac.toStdString() + " at " + row.first.toStdString());
    }
    Expect(!s.user.IsMessageBoxShown(), "no message after the job");

    // The same plan again: the verified devices hold it and are sent
    // nothing, the other credentials are refused again, and the device that
    // never came back is not found.
    s.user.Click(kMainTitle, "IDC_BTN_SETUPIP");
    s.user.WaitForWindow(kManyTitle, 5s);
    s.user.TypeKeys(kManyTitle, QStringLiteral("198.18.1.50"));
    TypeCredentials(s, kManyTitle);
    s.ui.WaitFor("the same plan", 3s, [&] {
        const auto rows = Preview();
        for (const auto& [mac, row] : planned)
            if (rows.count(mac) == 0 || rows.at(mac).first != row.first)
                return false;
        return true;
    });
    s.user.PressKey(kManyTitle, Qt::Key_Return);
    s.ui.WaitFor("the second summary", 30s,
                 [] { return !Message().isEmpty() && !Message().startsWith(QLatin1String("Apply")); });
    ExpectEqual(s.ui.Query([] { return Message(); }),
                QStringLiteral("4 unchanged, 1 authentication error, 1 not found"), "the second summary");
    for (const char* mac : {"02:00:00:00:00:01", "02:00:00:00:00:02", "02:00:00:00:00:03", "02:00:00:DD:00:07"})
        Expect(CommandsLogged(mac, "set") == 1 && CommandsLogged(mac, "reboot") == 1,
               std::string("no command for ") + mac + " the second time");
    Expect(CommandsLogged("02:00:00:DD:00:09", "set refused") == 2, "the other credentials refused again");
    s.user.PressKey(kManyTitle, Qt::Key_Escape);
    s.user.WaitUntilClosed(kManyTitle, 3s);
    CloseMainWindow(s);
}

// Three devices moved by Apply, then Put back in the same window: each is
// changed again, rebooted and verified at its first address, and the list
// shows it there again.
void SetupIpPutBack(Scenario& s)
{
    const QString title = QStringLiteral("Setup IP for 3 devices");
    OpenMainWindow(s);
    DiscoverRows(s, 3, 3s);
    const TableSeen first = s.user.Table();
    s.user.ClickRow(0);
    s.user.PressKey(kMainTitle, Qt::Key_A, Qt::ControlModifier);
    s.user.Click(kMainTitle, "IDC_BTN_SETUPIP");
    s.user.WaitForWindow(title, 5s);
    s.user.TypeKeys(title, QStringLiteral("198.18.1.70"));
    TypeCredentials(s, title);
    s.user.PressKey(title, Qt::Key_Return);
    s.ui.WaitFor("the summary", 60s, [] { return Message().endsWith(QLatin1String("verified")); });
    ExpectEqual(s.ui.Query([] { return Message(); }), QStringLiteral("3 verified"), "the summary");

    s.user.Click(title, "putBack");
    // The lab's devices take no unicast at an address they moved to, so
    // each password may go by broadcast once the job has asked.
    for (int i = 0; i < 3; ++i) {
        const MessageBoxSeen box = s.user.WaitForMessageBox(30s);
        Expect(box.text.contains(QLatin1String("does not answer by unicast")), "asked to broadcast: " + box.text.toStdString());
        s.user.Answer(QMessageBox::Yes);
    }
    s.ui.WaitFor("the summary of the put back", 60s, [] { return Message().endsWith(QLatin1String("verified")); });
    ExpectEqual(s.ui.Query([] { return Message(); }), QStringLiteral("Put back: 3 verified"), "the put back");
    for (const QStringList& row : first.rows)
        Expect(CommandsLogged(row.at(5).toStdString(), "set accepted") == 2 &&
                   CommandsLogged(row.at(5).toStdString(), "reboot accepted") == 2,
               "a change and a reboot each way for " + row.at(5).toStdString());
    s.user.PressKey(title, Qt::Key_Escape);
    s.user.WaitUntilClosed(title, 3s);
    const TableSeen table = s.user.Table();
    for (const QStringList& row : first.rows) {
        const int at = table.Find(5, row.at(5));
        Expect(at >= 0 && table.rows.at(static_cast<std::size_t>(at)).at(2) == row.at(2),
               "the list shows " + row.at(5).toStdString() + " back at " + row.at(2).toStdString());
    }
    CloseMainWindow(s);
}

} // namespace e2e
