#include "LabEnv.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace e2e {

bool LabEnv::FromEnvironment(LabEnv& lab, std::string& missing)
{
    const auto get = [&missing](const char* name, std::string& out) {
        const char* value = std::getenv(name);
        if (!value) {
            if (missing.empty())
                missing = name;
            return false;
        }
        out = value;
        return true;
    };
    std::string addresses;
    bool ok = get("PEMBLOR_LAB_DIR", lab.dir);
    ok = get("PEMBLOR_LAB_AP_NS", lab.apNamespace) && ok;
    ok = get("PEMBLOR_LAB_APSIM", lab.apsim) && ok;
    ok = get("PEMBLOR_LAB_AP_ADDRS", addresses) && ok;
    std::istringstream words(addresses);
    for (std::string address; words >> address;)
        lab.apAddresses.push_back(address);
    std::istringstream interfaces(std::getenv("PEMBLOR_LAB_TOOL_IFACES") ? std::getenv("PEMBLOR_LAB_TOOL_IFACES") : "");
    for (std::string name; interfaces >> name;)
        lab.toolInterfaces.push_back(name);
    if (const char* file = std::getenv("PEMBLOR_LAB_AP_IFACE_FILE")) {
        std::ifstream in(file);
        for (std::string address, name; in >> address >> name;)
            lab.apInterface[address] = name;
    }
    return ok;
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> ReceivedLines(const std::string& logPath, int type, const std::string& mac)
{
    const std::string typeText = " bytes type " + std::to_string(type) + " mac " + mac;
    std::vector<std::string> found;
    for (const std::string& line : ReadLines(logPath))
        if (line.starts_with("recv ") && line.find(typeText) != std::string::npos)
            found.push_back(line);
    return found;
}

} // namespace e2e
