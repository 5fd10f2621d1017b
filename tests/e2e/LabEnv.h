#pragma once
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

    // False (with the missing variable named) outside a lab run.
    static bool FromEnvironment(LabEnv& lab, std::string& missing);

    // The log of the simulator the lab started ("apsim.log").
    std::string ApsimLog() const { return dir + "/apsim.log"; }
};

std::vector<std::string> ReadLines(const std::string& path);

// Lines of a simulator log (--verbose) for datagrams of `type` received with
// MAC text `mac` (empty: any MAC).
std::vector<std::string> ReceivedLines(const std::string& logPath, int type, const std::string& mac = {});

} // namespace e2e
