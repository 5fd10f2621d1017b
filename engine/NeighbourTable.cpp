#include "engine/NeighbourTable.h"

#include "engine/ISocketLayer.h"
#include "engine/NetworkInterface.h"
#include "protocol/MacText.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace pemblor {

namespace {

constexpr unsigned kResolvedFlag = 0x2; // ATF_COM: the entry holds a MAC
constexpr std::uint16_t kDiscardPort = 9;

} // namespace

std::vector<Neighbour> ParseNeighbourTable(std::istream& text)
{
    std::vector<Neighbour> table;
    std::string line;
    std::getline(text, line); // the header
    while (std::getline(text, line)) {
        std::istringstream fields(line);
        std::string address, type, flags, mac, mask, device;
        if (!(fields >> address >> type >> flags >> mac >> mask >> device))
            continue;
        Neighbour neighbour;
        unsigned long flagBits = 0;
        try {
            flagBits = std::stoul(flags, nullptr, 16);
        } catch (...) {
            continue;
        }
        for (char& c : mac)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const std::optional<MacBytes> bytes = ParseDeviceMac(mac);
        if ((flagBits & kResolvedFlag) == 0 || !bytes ||
            !ParseIpv4(address.c_str(), neighbour.address))
            continue;
        neighbour.mac = *bytes;
        neighbour.interfaceName = device;
        table.push_back(std::move(neighbour));
    }
    return table;
}

std::vector<Neighbour> ReadNeighbourTable(const char* path)
{
    std::ifstream file(path);
    if (!file)
        return {};
    return ParseNeighbourTable(file);
}

void PromptResolution(ISocketLayer& sockets, std::span<const std::uint32_t> addresses)
{
    const std::unique_ptr<ISocket> socket = sockets.Open();
    if (!socket)
        return;
    const char byte = 0;
    for (const std::uint32_t address : addresses)
        socket->SendTo(&byte, 1, kDiscardPort, FormatIpv4(address).c_str());
}

} // namespace pemblor
