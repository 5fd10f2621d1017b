#include "engine/ProcReversePathFilter.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

namespace pemblor {
namespace {

int ReadSetting(const std::string& path)
{
    std::ifstream file(path);
    int value = 0;
    return file >> value ? value : 0;
}

} // namespace

std::optional<std::uint64_t> ProcReversePathFilter::Drops()
{
    // Two lines per group: the field names, then their values, each line
    // starting with the group's name.
    std::ifstream file(m_proc + "/net/netstat");
    std::string names;
    std::string values;
    while (std::getline(file, names) && std::getline(file, values)) {
        if (names.rfind("TcpExt:", 0) != 0)
            continue;
        std::istringstream nameWords(names);
        std::istringstream valueWords(values);
        std::string name;
        std::string value;
        while (nameWords >> name && valueWords >> value) {
            if (name == "IPReversePathFilter")
                return std::strtoull(value.c_str(), nullptr, 10);
        }
    }
    return std::nullopt;
}

int ProcReversePathFilter::Mode(std::string_view interfaceName)
{
    const std::string conf = m_proc + "/sys/net/ipv4/conf/";
    return std::max(ReadSetting(conf + "all/rp_filter"), ReadSetting(conf + std::string(interfaceName) + "/rp_filter"));
}

} // namespace pemblor
