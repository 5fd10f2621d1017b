#pragma once
#include "engine/NetworkInterface.h"

#include <string>
#include <vector>

namespace pemblor {

// The computer's interfaces as they are at the moment of the call:
// interfaces come and go (a VPN, a cable), so callers read the list afresh
// whenever they need it.
class IInterfaceList {
public:
    virtual ~IInterfaceList() = default;

    // The interfaces the tool sends on, one per interface index, in the
    // system's order: up, with a link, able to broadcast, not the loopback,
    // with all their IPv4 addresses or none; never a bridge's port or a
    // bond's member (their master sends for them). False when the system
    // could not be asked; LastError() then tells why.
    virtual bool Usable(std::vector<NetworkInterface>& out) = 0;
    virtual int LastError() const = 0;
    // The interfaces that were up without a link at the last Usable, by name.
    virtual std::vector<std::string> WithoutLink() const { return {}; }
};

// One interface as the system describes it, for ChooseInterfaces.
struct InterfaceEntry {
    std::string name;
    unsigned index = 0;
    unsigned flags = 0;      // IFF_UP, IFF_RUNNING, IFF_BROADCAST, IFF_LOOPBACK, IFF_SLAVE
    bool bridgePort = false; // a port of a bridge
    std::vector<Ipv4Network> networks{};
};

struct InterfaceChoice {
    std::vector<NetworkInterface> usable;
    std::vector<std::string> withoutLink;
};

// The rule of IInterfaceList::Usable over the system's entries (an
// interface's addresses may come in several entries of the same index).
InterfaceChoice ChooseInterfaces(const std::vector<InterfaceEntry>& entries);

} // namespace pemblor
