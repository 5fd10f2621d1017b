#pragma once
#include "Agent.h"
#include "Quirks.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace apsim {

// The command line. Quirk options given outside --ap apply to every access
// point; keys inside an --ap override them for that one, wherever the options
// stand on the line.
class Options final {
public:
    // False with `error` set on a bad command line; `wantsHelp` for --help.
    bool Parse(int argc, char** argv, std::string& error);
    // The access points: --aps N generated ones first, then the --ap ones.
    bool BuildAccessPoints(std::vector<AccessPoint>& out, std::string& error) const;
    static const char* Usage();

    bool wantsHelp = false;
    bool printAddresses = false;
    int parentPid = 0;
    // The port, the restart time, --verbose and the logs.
    Agent::Config agent;

private:
    int m_nGenerated = 0;
    int m_nFirstNumber = 1;
    std::uint32_t m_nBase = 0xC6120101u; // 198.18.1.1
    std::optional<std::uint32_t> m_sharedIp; // every generated access point there
    std::string m_strUser = "admin";
    std::string m_strPass = "admin";
    Quirks m_quirks;
    std::vector<std::string> m_apDescriptions;
};

} // namespace apsim
