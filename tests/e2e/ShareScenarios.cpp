#include "Scenario.h"


#include <QClipboard>
#include <QGuiApplication>
#include <QStringList>

#include <fstream>
#include <sstream>

namespace e2e {

using namespace std::chrono_literals;

namespace {

// The table's rows as the user sees them, each joined by `separator`, under
// the headings; without Last seen, which changes by the second and is not
// shared.
QString TableText(const TableSeen& table, QChar separator, const std::vector<int>& rows)
{
    constexpr int kShared = 7;
    QString text = table.headings.mid(0, kShared).join(separator) + QLatin1Char('\n');
    for (int row : rows)
        text += table.rows.at(static_cast<std::size_t>(row)).mid(0, kShared).join(separator) + QLatin1Char('\n');
    return text;
}

} // namespace

// The conditions of WaitFor run on the user-interface thread: they read the
// clipboard themselves.
//
// Ctrl+C in the table copies the selected row, or every row when none is
// selected; "Export list..." saves every row as CSV.
void ShareList(Scenario& s)
{
    OpenMainWindow(s);
    const TableSeen table = DiscoverRows(s, 3, 3s);
    Note("3 rows listed");

    s.user.ClickRow(1);
    s.user.PressKey(kMainTitle, Qt::Key_C, Qt::ControlModifier);
    s.ui.WaitFor("the selected row on the clipboard", 3s,
                 [&] { return QGuiApplication::clipboard()->text() == TableText(table, QLatin1Char('\t'), {1}); });
    Note("the selected row copied");

    // Ctrl+click takes the selection away: every row is copied.
    s.user.ClickRow(1, Qt::ControlModifier);
    s.user.PressKey(kMainTitle, Qt::Key_C, Qt::ControlModifier);
    s.ui.WaitFor("every row on the clipboard", 3s,
                 [&] { return QGuiApplication::clipboard()->text() == TableText(table, QLatin1Char('\t'), {0, 1, 2}); });

    s.user.RightClickRow(2);
    const QStringList items = s.user.WaitForMenu(3s);
    Expect(items.contains(QStringLiteral("Export list...")), "the menu offers Export list...");
    s.user.ChooseMenuItem(QStringLiteral("Export list..."));
    const std::string path = s.lab.dir + "/devices.csv";
    s.user.AnswerSaveFile(path);
    QString written;
    s.ui.WaitFor("the exported file", 3s, [&] {
        std::ifstream in(path);
        std::ostringstream text;
        text << in.rdbuf();
        written = QString::fromStdString(text.str());
        return written.count(QLatin1Char('\n')) == 4;
    });
    // The generated SSIDs, addresses and MACs need no quotes.
    ExpectEqual(written, TableText(table, QLatin1Char(','), {0, 1, 2}), "the exported CSV");
    Expect(!s.user.IsMessageBoxShown(), "no message after the export");
    CloseMainWindow(s);
}

} // namespace e2e
