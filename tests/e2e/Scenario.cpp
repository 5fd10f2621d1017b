#include "Scenario.h"


#include <cstdio>

namespace e2e {
namespace {

using namespace std::chrono_literals;

const auto g_start = Clock::now();

std::string Shown(const QString& text)
{
    QString shown = text;
    shown.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return '"' + shown.toStdString() + '"';
}

} // namespace

void Note(const std::string& text)
{
    const auto elapsed = Since(g_start);
    std::printf("%7.3f s  %s\n", static_cast<double>(elapsed.count()) / 1000.0, text.c_str());
    std::fflush(stdout);
}

void ExpectEqual(const QString& actual, const QString& expected, const std::string& what)
{
    Expect(actual == expected, what + ": expected " + Shown(expected) + ", saw " + Shown(actual));
}

std::chrono::milliseconds Since(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

TableSeen DiscoverRows(Scenario& s, int rows, std::chrono::milliseconds within)
{
    s.user.Click(kMainTitle, "IDC_BTN_DISCOVER");
    s.user.WaitForRows(rows, within);
    s.user.WaitEnabled(kMainTitle, "IDC_BTN_DISCOVER", true, 8s);
    return s.user.Table();
}

void ExpectWithin(std::chrono::milliseconds actual, std::chrono::milliseconds low, std::chrono::milliseconds high,
                  const std::string& what)
{
    Expect(actual >= low && actual <= high, what + ": took " + std::to_string(actual.count()) + " ms, expected " +
                                                std::to_string(low.count()) + " to " +
                                                std::to_string(high.count()) + " ms");
}

void OpenMainWindow(Scenario& s)
{
    s.user.WaitForWindow(kMainTitle, 10s);
    Note("main window shown");
    Expect(s.user.IsEnabled(kMainTitle, "IDC_BTN_DISCOVER"), "Discover starts enabled");
    Expect(!s.user.IsEnabled(kMainTitle, "IDC_BTN_SETUPIP"), "Setup IP starts disabled");
    Expect(!s.user.IsEnabled(kMainTitle, "IDC_BTN_WEBSERVER"), "Connect to Web Server starts disabled");
    Expect(!s.user.IsMessageBoxShown(), "no message box at start-up");
}

void CloseMainWindow(Scenario& s)
{
    s.user.Click(kMainTitle, "IDCANCEL");
    s.user.WaitUntilClosed(kMainTitle, 5s);
    Note("main window closed");
}

MessageBoxSeen ExpectMessageBox(Scenario& s, const QString& text, const QString& owner,
                                std::chrono::milliseconds timeout)
{
    const MessageBoxSeen box = s.user.WaitForMessageBox(timeout);
    Note("message box " + Shown(box.text) + " after " + std::to_string(box.waited.count()) + " ms");
    ExpectEqual(box.text, text, "message box text");
    ExpectEqual(box.title, s.appName, "message box caption");
    ExpectEqual(box.ownerTitle, owner, "owner of the message box");
    Expect(box.icon == QMessageBox::NoIcon, "message box " + Shown(text) + " has no icon");
    ExpectEqual(box.buttons.join(QLatin1Char(',')), QStringLiteral("OK"), "buttons of the message box");
    return box;
}

} // namespace e2e
