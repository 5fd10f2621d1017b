// Two copies of the tool: on the same host, where the second cannot have the
// device port, and on two hosts, where one copy's closing stop datagram
// reaches the other, which goes on listening.

#include "ChildProcess.h"
#include "Scenario.h"


#include <unistd.h>

#include <algorithm>
#include <thread>

namespace e2e {
namespace {

using namespace std::chrono_literals;

// Linux's numbers for an address in use and for a broadcast without the
// broadcast option; the broadcast fails on the lab's one interface.
const QString kBindError = QStringLiteral(
    "m_skRecv.Create Error(98)\nAnother program on this computer uses UDP port 21212, probably Pemblor or "
    "pemblorctl. Close it and start Pemblor again.");

// Polls a condition that needs no window.
void PollUntil(const std::string& what, std::chrono::milliseconds timeout, const std::function<bool()>& condition)
{
    const Clock::time_point start = Clock::now();
    while (!condition()) {
        Expect(Since(start) < timeout, "waited " + std::to_string(timeout.count()) + " ms for: " + what);
        std::this_thread::sleep_for(20ms);
    }
}

std::string Tail(const std::string& path)
{
    const auto lines = ReadLines(path);
    std::string out;
    for (std::size_t i = lines.size() > 30 ? lines.size() - 30 : 0; i < lines.size(); ++i)
        out += "  | " + lines[i] + "\n";
    return out;
}

void RunPeer(const std::vector<std::string>& argv, const std::string& log)
{
    ChildProcess peer;
    Expect(peer.Start(argv, log), "the second copy starts");
    Note("second copy started, pid " + std::to_string(peer.Pid()));
    const auto status = peer.Wait(40s);
    Expect(status.has_value(), "the second copy ends within 40 s; its log:\n" + Tail(log));
    Expect(*status == 0, "the second copy passed (status " + std::to_string(*status) + "); its log:\n" + Tail(log));
    Note("second copy ended; its log:\n" + Tail(log));
}

// A simulator of our own in the access point namespace, for a run whose lab
// started none. The lab has given the namespace the addresses of its APs.
void StartApsim(Scenario& s, ChildProcess& apsim, const std::string& log)
{
    const std::vector<std::string> argv = {"ip",
                                           "netns",
                                           "exec",
                                           s.lab.apNamespace,
                                           s.lab.apsim,
                                           "--aps",
                                           std::to_string(s.lab.apAddresses.size()),
                                           "--verbose",
                                           "--parent-pid",
                                           std::to_string(getpid())};
    Expect(apsim.Start(argv, log), "the simulator starts");
    PollUntil("the simulator ready", 10s, [&] {
        const auto lines = ReadLines(log);
        return std::any_of(lines.begin(), lines.end(),
                           [](const std::string& line) { return line.find("access points on port") != std::string::npos; });
    });
    Note("simulator started, pid " + std::to_string(apsim.Pid()));
}

std::size_t RepliesSent(const std::string& log)
{
    const auto lines = ReadLines(log);
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [](const std::string& line) { return line.starts_with("send "); }));
}

void DiscoverThree(Scenario& s)
{
    DiscoverRows(s, 3, 3s);
    Expect(!s.user.IsMessageBoxShown(), "no message box after the discovery");
}

} // namespace

// The first copy: it has the port and a running receive thread when the
// second copy comes and goes.
void SecondCopySameHost(Scenario& s)
{
    OpenMainWindow(s);
    DiscoverThree(s);
    RunPeer({s.self, "second-copy-peer"}, s.lab.dir + "/second-copy.log");
    // The second copy could broadcast nothing, its stop datagram included.
    DiscoverThree(s);
    CloseMainWindow(s);
}

// The second copy on the same host.
void SecondCopySameHostPeer(Scenario& s)
{
    ExpectMessageBox(s, kBindError, kMainTitle, 10s);
    s.user.Answer(QMessageBox::Ok);
    s.user.WaitForWindow(kMainTitle, 5s);
    const TableSeen table = s.user.Table();
    Expect(!table.headings.isEmpty(), "the device table keeps its columns\n" + table.Describe());

    // Discover says the same again and sends nothing.
    s.user.Click(kMainTitle, "IDC_BTN_DISCOVER");
    ExpectMessageBox(s, kBindError, kMainTitle, 5s);
    s.user.Answer(QMessageBox::Ok);
    Expect(s.user.IsEnabled(kMainTitle, "IDC_BTN_DISCOVER"), "Discover stays enabled");
    Expect(s.user.RowCount() == 0, "no rows");

    // Without sockets there is no receive thread to stop: closing sends
    // nothing and says nothing.
    s.user.Click(kMainTitle, "IDCANCEL");
    s.user.WaitUntilClosed(kMainTitle, 5s);
    Expect(!s.user.IsMessageBoxShown(), "no message box on closing");
}

// The first copy, on the tool host; the second runs on the access point host
// while no simulator holds the port there.
void StopFromOtherHost(Scenario& s)
{
    ChildProcess apsim;
    StartApsim(s, apsim, s.lab.dir + "/apsim-before.log");
    OpenMainWindow(s);
    DiscoverThree(s);
    apsim.Stop();

    RunPeer({"ip", "netns", "exec", s.lab.apNamespace, s.self, "stop-other-host-peer"},
            s.lab.dir + "/other-host.log");

    // The other copy's stop datagram reached this one too; it keeps
    // listening and finds the devices again.
    const std::string log = s.lab.dir + "/apsim-after.log";
    StartApsim(s, apsim, log);
    DiscoverThree(s);
    Expect(!s.user.IsMessageBoxShown(), "no message box");
    Expect(RepliesSent(log) >= s.lab.apAddresses.size(),
           "the access points answered the discovery:\n" + Tail(log));
    CloseMainWindow(s);
}

// The copy on the access point host: it opens normally and closes.
void StopFromOtherHostPeer(Scenario& s)
{
    OpenMainWindow(s);
    Expect(s.user.Table().headings.size() == 8, "the device table has its columns: the endpoint opened");
    CloseMainWindow(s);
}

} // namespace e2e
