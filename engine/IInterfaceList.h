#pragma once
#include "engine/NetworkInterface.h"

#include <vector>

namespace pemblor {

// The computer's IPv4 interfaces as they are at the moment of the call:
// interfaces come and go (a VPN, a cable), so callers read the list afresh
// whenever they need it.
class IInterfaceList {
public:
    virtual ~IInterfaceList() = default;

    // The interfaces that are up, can broadcast and are not loopback, one per
    // interface index (its first IPv4 address), in the system's order. False
    // when the system could not be asked; LastError() then tells why.
    virtual bool Usable(std::vector<NetworkInterface>& out) = 0;
    virtual int LastError() const = 0;
};

} // namespace pemblor
