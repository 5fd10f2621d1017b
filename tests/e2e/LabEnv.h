#pragma once
#include <map>
#include <string>
#include <vector>

namespace e2e {

// The lab run this test was started in, as scripts/lab describes it in the
// environment.
struct LabEnv {
    std::string dir;         // scratch directory of the run
    std::string apNamespace; // where the simulated access points live
    std::string apsim;       // the simulator binary
    std::vector<std::string> apAddresses;
    // With --links: the tool host's interfaces in link order, and the one
    // each access point sits behind, by address.
    std::vector<std::string> toolInterfaces;
    std::map<std::string, std::string> apInterface;

    // False (with the missing variable named) outside a lab run.
    static bool FromEnvironment(LabEnv& lab, std::string& missing);

    // The log of the simulator the lab started ("apsim.log").
    std::string ApsimLog() const { return dir + "/apsim.log"; }
    // With --links: the log of link `link`'s simulator (1 for the first).
    std::string ApsimLog(int link) const { return dir + "/apsim" + std::to_string(link) + ".log"; }
};

std::vector<std::string> ReadLines(const std::string& path);

// Lines of a simulator log (--verbose) for datagrams of `type` received with
// MAC text `mac` (empty: any MAC).
std::vector<std::string> ReceivedLines(const std::string& logPath, int type, const std::string& mac = {});

} // namespace e2e
