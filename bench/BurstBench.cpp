// burst_bench N [--cap-seconds S] [--hold-cycle] [--rcvbuf-bytes B]
//
// Opens the device list window (Qt, offscreen unless QT_QPA_PLATFORM says
// otherwise) with real sockets, presses Discover once and measures how the
// table fills while N access points answer at once. It broadcasts, so it
// must run in the lab's tool namespace:
//
//   scripts/lab --aps N --apsim build/<dir>/tools/apsim/apsim -- burst_bench N
//
// --cap-seconds S   give up S seconds after the first reply (default 30)
// --hold-cycle      disarm the window's 5 s discovery timer right after
//                   Discover, so that a slow table is measured to the end
// --rcvbuf-bytes B  kernel receive buffer asked for (default 8 MiB, as the
//                   application asks; 0 leaves the system's default)
// --workspace       once the table is complete: heading clicks (sort by
//                   address and back), keystrokes in the filter, and one
//                   live round (Keep discovering), measured; resident memory
//                   before Discover and with the table complete
//
// Prints one line of key=value fields (times in milliseconds, NA when they
// do not apply). Exit status: 0 when all N were listed, 1 when the run was
// measured but the table is incomplete, 2 for a bad command line, 3 when the
// run could not be measured, 77 outside a lab namespace (nothing is sent).

#include "bench/BurstDriver.h"
#include "bench/ReplyClock.h"
#include "bench/WireClock.h"
#include "engine/Session.h"
#include "tools/apsim/LabAddress.h"
#include "tools/apsim/ParseNumber.h"
#include "engine/PosixInterfaceList.h"
#include "engine/PosixSocketLayer.h"
#include "gui/CDeviceListDlg.h"
#include "gui/QtDispatcher.h"

#include <QApplication>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using pemblor::bench::BurstResult;
using pemblor::bench::BurstSettings;
using pemblor::bench::ReplyClock;
using Clock = ReplyClock::Clock;

constexpr int kReceiveBufferBytes = 8 * 1024 * 1024;
// The row-by-row baseline is retired: the table is a view of the device
// registry now, and a literal-scan build measures the product too.
constexpr int kDefaultCapSeconds = 30;

// A count above 0, and nothing else.
bool ParseCount(std::string_view text, int& count)
{
    return apsim::ParseNumber(text, count) && count > 0;
}

bool ParseArguments(int argc, char** argv, BurstSettings& settings, int& receiveBufferBytes)
{
    std::vector<std::string_view> args(argv + 1, argv + argc);
    settings.cap = std::chrono::seconds(kDefaultCapSeconds);
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--hold-cycle") {
            settings.holdCycle = true;
        } else if (args[i] == "--workspace") {
            settings.workspace = true;
        } else if (args[i] == "--rcvbuf-bytes" && i + 1 < args.size()) {
            // 0 leaves the system's default.
            receiveBufferBytes = 0;
            if (args[++i] != "0" && !ParseCount(args[i], receiveBufferBytes))
                return false;
        } else if (args[i] == "--cap-seconds" && i + 1 < args.size()) {
            int seconds = 0;
            if (!ParseCount(args[++i], seconds))
                return false;
            settings.cap = std::chrono::seconds(seconds);
        } else if (settings.aps == 0) {
            // The count, the one argument without a name; never 0.
            if (!ParseCount(args[i], settings.aps))
                return false;
        } else {
            return false;
        }
    }
    return settings.aps > 0;
}

// A counter of the "Udp:" lines of /proc/net/snmp, which describe the
// network namespace of the process; -1 when unreadable.
long UdpCounter(const std::string& name)
{
    std::ifstream snmp("/proc/net/snmp");
    // The first "Udp: " line names the counters, the second holds them.
    std::string names;
    std::string values;
    for (std::string line; values.empty() && std::getline(snmp, line);) {
        if (line.rfind("Udp: ", 0) == 0)
            (names.empty() ? names : values) = line;
    }
    std::istringstream nameWords(names);
    std::istringstream valueWords(values);
    std::string word;
    std::string value;
    while (nameWords >> word && valueWords >> value) {
        if (word == name)
            return std::stol(value);
    }
    return -1;
}

// A figure with one decimal.
std::string Fixed1(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string Millis(Clock::duration duration)
{
    return Fixed1(std::chrono::duration<double, std::milli>(duration).count());
}

// "NA" when either time point was never reached.
std::string Millis(Clock::time_point from, Clock::time_point to)
{
    if (from == Clock::time_point{} || to == Clock::time_point{})
        return "NA";
    return Millis(to - from);
}

std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == ' ')
            c = '_';
    return text;
}

} // namespace

int main(int argc, char* argv[])
{
    BurstSettings settings;
    int receiveBufferBytes = kReceiveBufferBytes;
    if (!ParseArguments(argc, argv, settings, receiveBufferBytes)) {
        std::fprintf(stderr, "usage: burst_bench N [--cap-seconds S] [--hold-cycle] [--rcvbuf-bytes B] [--workspace]\n"
                             "Run it inside the lab: scripts/lab --aps N -- burst_bench N\n");
        return 2;
    }
    std::string outside;
    if (!apsim::CheckLabNamespace(outside)) {
        std::fprintf(stderr, "burst_bench: not inside a lab namespace (%s); run it through scripts/lab\n",
                     outside.c_str());
        return 77;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    pemblor::QtDispatcher dispatcher;
    const pemblor::SteadyClock steady;
    pemblor::PosixSocketLayer sockets;
    if (!sockets.StartupProcess()) {
        std::fprintf(stderr, "burst_bench: the sockets library did not start\n");
        return 3;
    }

    ReplyClock clock;
    pemblor::PosixInterfaceList toolInterfaces;
    pemblor::SessionConfig config;
    config.interfaces = &toolInterfaces;
    config.receiveBufferBytes = receiveBufferBytes;
    config.replyObserver = [&clock] { clock.OnReply(); };

    // The lab names the tool host's interfaces (several with --links).
    std::vector<std::unique_ptr<pemblor::bench::WireClock>> wires;
    std::string wireReason = "PEMBLOR_LAB_TOOL_IFACE not set";
    const char* interfaces = std::getenv("PEMBLOR_LAB_TOOL_IFACES");
    if (!interfaces)
        interfaces = std::getenv("PEMBLOR_LAB_TOOL_IFACE");
    std::istringstream names(interfaces ? interfaces : "");
    bool watching = interfaces != nullptr;
    for (std::string name; watching && names >> name;) {
        wires.push_back(std::make_unique<pemblor::bench::WireClock>());
        watching = wires.back()->Start(name, pemblor::DevicePort, wireReason);
    }
    watching = watching && !wires.empty();
    if (!watching)
        std::fprintf(stderr, "burst_bench: no arrival times from the wire: %s\n", wireReason.c_str());

    const long rcvbufErrorsBefore = UdpCounter("RcvbufErrors");
    int granted = 0;
    BurstResult result;
    {
        pemblor::CDeviceListDlg dialog(dispatcher, steady, sockets, std::move(config));
        clock.Watch(dialog.GetSession().discovery());
        pemblor::bench::BurstDriver driver(settings, clock, dialog);
        driver.Start();
        QObject::connect(&dialog, &QDialog::finished, &application, &QCoreApplication::quit, Qt::QueuedConnection);
        dialog.show();
        QApplication::exec();
        granted = dialog.GetSession().transport().ReceiveBufferGranted();
        result = driver.Result();
    }
    dispatcher.Stop();
    long wireReplies = 0;
    long wireDrops = 0;
    const Clock::time_point none{};
    Clock::time_point wireFirst{};
    Clock::time_point wireLast{};
    for (const auto& wire : wires) {
        wire->Stop();
        wireReplies += wire->Replies();
        wireDrops += wire->Drops();
        if (wire->First() != none && (wireFirst == none || wire->First() < wireFirst))
            wireFirst = wire->First();
        if (wire->Last() > wireLast)
            wireLast = wire->Last();
    }
    const long rcvbufErrorsAfter = UdpCounter("RcvbufErrors");

    const int lost = settings.aps - result.distinctMacs;
    std::string line;
    auto field = [&line](const char* name, const std::string& value) {
        if (!line.empty())
            line += ' ';
        line += name;
        line += '=';
        line += value;
    };
    using std::to_string;
    field("variant", "product");
    field("aps", to_string(settings.aps));
    field("listed", to_string(result.distinctMacs));
    field("lost", to_string(lost));
    field("rows", to_string(result.rows));
    field("replies", to_string(clock.DiscoveryReplies()));
    field("late_replies", to_string(clock.OtherReplies()));
    field("discover_to_first_reply_ms", Millis(result.discoverAt, clock.First()));
    field("first_to_last_reply_ms", Millis(clock.First(), clock.Last()));
    field("discover_to_complete_ms", Millis(result.discoverAt, result.completeAt));
    field("table_complete_after_last_reply_ms", Millis(clock.Last(), result.completeAt));
    field("interfaces", to_string(wires.size()));
    field("wire_replies", watching ? to_string(wireReplies) : "NA");
    field("wire_drops", watching ? to_string(wireDrops) : "NA");
    field("wire_first_to_last_reply_ms", Millis(wireFirst, wireLast));
    field("table_complete_after_last_wire_reply_ms", Millis(wireLast, result.completeAt));
    field("last_row_after_discover_ms", Millis(result.discoverAt, result.lastGrowthAt));
    field("discover_to_stop_ms", Millis(result.discoverAt, result.stoppedAt));
    field("stop_after_last_wire_reply_ms", Millis(wireLast, result.stoppedAt));
    field("listed_by_cycle_end", result.rowsAtCycleEnd < 0 ? "NA" : to_string(result.rowsAtCycleEnd));
    field("paint_ms", result.complete ? Millis(result.paintTime) : "NA");
    field("rcvbuf_asked", to_string(receiveBufferBytes));
    field("rcvbuf_granted", to_string(granted));
    field("udp_rcvbuf_errors", rcvbufErrorsBefore < 0 ? "NA" : to_string(rcvbufErrorsAfter - rcvbufErrorsBefore));
    field("hold_cycle", settings.holdCycle ? "1" : "0");
    if (result.timedOut)
        field("timeout", "1");
    if (result.cycleEnded)
        field("cycle_ended", "1");
    for (const std::string& message : result.messages)
        field("message", OneLine(message));
    if (!result.failure.empty())
        field("failure", OneLine(result.failure));
    if (settings.workspace) {
        // The median and the worst of the figures; NA without any.
        auto median = [](std::vector<double> values) {
            std::sort(values.begin(), values.end());
            return values.empty() ? std::string("NA") : Fixed1(values[values.size() / 2]);
        };
        auto worst = [](const std::vector<double>& values) {
            return values.empty() ? std::string("NA") : Fixed1(*std::max_element(values.begin(), values.end()));
        };
        field("sort_median_ms", median(result.sortMs));
        field("sort_max_ms", worst(result.sortMs));
        field("filter_median_ms", median(result.filterMs));
        field("filter_max_ms", worst(result.filterMs));
        field("live_heard", result.liveHeard < 0 ? "NA" : to_string(result.liveHeard));
        field("live_lost", result.liveHeard < 0 ? "NA" : to_string(settings.aps - result.liveHeard));
        field("live_max_block_ms", result.liveMaxBlockMs < 0 ? "NA" : Fixed1(result.liveMaxBlockMs));
        field("rss_growth_mb", Fixed1((result.rssFullKb - result.rssBeforeKb) / 1024.0));
        if (!result.workspaceFailure.empty())
            field("workspace_failure", OneLine(result.workspaceFailure));
    }
    std::printf("%s\n", line.c_str());

    if (!result.failure.empty())
        return 3;
    return result.complete && lost == 0 ? 0 : 1;
}
