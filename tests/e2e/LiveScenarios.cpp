#include "Scenario.h"


#include <functional>
#include <thread>

namespace e2e {

using namespace std::chrono_literals;

namespace {

constexpr int kSsid = 1;
constexpr int kIp = 2;

// Polls the table until `done` holds for it; fails after `timeout`.
TableSeen WaitForTable(Scenario& s, const std::string& what, std::chrono::milliseconds timeout,
                       const std::function<bool(const TableSeen&)>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        TableSeen table = s.user.Table();
        if (done(table))
            return table;
        Expect(std::chrono::steady_clock::now() < deadline, "waited " + std::to_string(timeout.count()) +
                                                                 " ms for: " + what);
        std::this_thread::sleep_for(200ms);
    }
}

} // namespace

// Keep discovering against access points that change while it runs (see
// live-aps.sh): a device that answers only later appears with the next
// number, one that moved shows its new address, one that went silent is
// greyed with its silence as tool tip and stays listed.
void LiveView(Scenario& s)
{
    OpenMainWindow(s);
    s.user.Click(kMainTitle, "IDC_CHK_KEEP_DISCOVERING");
    TableSeen table = WaitForTable(s, "the first three devices", 8s, [](const TableSeen& t) { return t.rows.size() == 3; });
    Note("three devices listed by the first round");
    ExpectEqual(table.rows.at(static_cast<std::size_t>(table.Find(kSsid, QStringLiteral("moves")))).at(kIp),
                QStringLiteral("198.18.1.43"), "the moving device's first address");

    table = WaitForTable(s, "the late device and the new address", 25s, [](const TableSeen& t) {
        const int moves = t.Find(kSsid, QStringLiteral("moves"));
        return t.Find(kSsid, QStringLiteral("late")) >= 0 && moves >= 0 &&
               t.rows.at(static_cast<std::size_t>(moves)).at(kIp) == QStringLiteral("198.18.1.44");
    });
    ExpectEqual(table.rows.at(static_cast<std::size_t>(table.Find(kSsid, QStringLiteral("late")))).at(0),
                QStringLiteral("4"), "the late device's number");
    Note("the late device appeared, the moved one shows its new address");

    table = WaitForTable(s, "the silent device greyed", 30s, [](const TableSeen& t) {
        const int stops = t.Find(kSsid, QStringLiteral("stops"));
        return stops >= 0 && t.greyed.at(static_cast<std::size_t>(stops)).startsWith(QStringLiteral("Not heard for "));
    });
    Expect(table.rows.size() == 4, "every device stays listed");
    const int stays = table.Find(kSsid, QStringLiteral("stays"));
    Expect(stays >= 0 && table.greyed.at(static_cast<std::size_t>(stays)).isEmpty(), "the answering device is not greyed");
    Expect(!s.user.IsMessageBoxShown(), "the rounds say nothing");
    Note("the silent device is greyed");
    CloseMainWindow(s);
}

} // namespace e2e
