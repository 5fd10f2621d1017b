#pragma once
#include "protocol/PacketHeader.h"

#include <cstdint>
#include <istream>
#include <span>
#include <string>
#include <vector>

namespace pemblor {

class ISocketLayer;

// A host on the LAN as the kernel's neighbour table knows it: it answered
// address resolution for `address` (host order) with `mac`.
struct Neighbour {
    std::uint32_t address = 0;
    MacBytes mac{};
    std::string interfaceName;
};

// The complete entries of a neighbour table in the text form of
// /proc/net/arp (a header line, then "ADDRESS HWTYPE FLAGS MAC MASK DEVICE"
// a line). Entries still resolving, or that failed, are left out; so are
// lines that do not read.
std::vector<Neighbour> ParseNeighbourTable(std::istream& text);

// The kernel's table; empty when it cannot be read.
std::vector<Neighbour> ReadNeighbourTable(const char* path = "/proc/net/arp");

// Sends one byte to the discard port (9) of each address, so that the
// kernel resolves the addresses that are on a link of this computer: a host
// that holds one answers, and its entry appears in the table within
// milliseconds. Nothing listens there, and the byte carries nothing.
void PromptResolution(ISocketLayer& sockets, std::span<const std::uint32_t> addresses);

} // namespace pemblor
