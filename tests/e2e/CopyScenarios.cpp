// Copies of the tool side by side: two windows on the same host, which share
// the device port, the window beside pemblorctl, and copies on two hosts,
// where one copy's closing stop datagram reaches the other, which goes on
// listening.

#include "ChildProcess.h"
#include "Scenario.h"


#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace e2e {
namespace {

using namespace std::chrono_literals;

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

// The first copy: it has a running receive thread while the second copy
// opens, discovers every device and closes (its stop datagram included).
void SecondCopySameHost(Scenario& s)
{
    OpenMainWindow(s);
    DiscoverThree(s);
    RunPeer({s.self, "second-copy-peer"}, s.lab.dir + "/second-copy.log");
    DiscoverThree(s);
    CloseMainWindow(s);
}

// The second copy on the same host: bound last, it is handed the answers
// addressed to this computer and passes them on to the first.
void SecondCopySameHostPeer(Scenario& s)
{
    OpenMainWindow(s);
    DiscoverThree(s);
    CloseMainWindow(s);
}

// The window discovers while `pemblorctl discover` listens, and each lists
// every device.
void BesideCtl(Scenario& s)
{
    const char* ctl = std::getenv("PEMBLOR_CTL");
    Expect(ctl != nullptr, "PEMBLOR_CTL names pemblorctl");
    OpenMainWindow(s);
    const std::string log = s.lab.dir + "/pemblorctl.log";
    ChildProcess discover;
    Expect(discover.Start({ctl, "discover", "--timeout", "6", "--format", "json"}, log), "pemblorctl starts");
    std::this_thread::sleep_for(500ms);
    DiscoverThree(s);
    const auto status = discover.Wait(15s);
    const auto lines = ReadLines(log);
    const auto devices = std::count_if(lines.begin(), lines.end(), [](const std::string& line) { return line.starts_with("{"); });
    Expect(status == 0 && devices == 3, "pemblorctl listed every device; its output:\n" + Tail(log));
    CloseMainWindow(s);
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
