#pragma once
#include "engine/NetworkInterface.h"
#include "protocol/PacketHeader.h"

#include <optional>
#include <string>
#include <string_view>

namespace pemblor {

class DeviceRegistry;
class Transport;

// Why a device's user name and password would have to go by broadcast,
// where every host on the segment receives them.
enum class BroadcastReason {
    None,            // they go by unicast
    OutsideNetwork,  // its address lies outside every network of the interface it answered on (or is not
                     // known), or that interface has no address
    SharedAddress,   // another listed device answers from its address
    NoUnicastAnswer, // it did not answer a detail query sent to its address within the wait
};

// How the datagrams that carry a device's credentials (the settings change
// and the reboot) reach it: by unicast to `address` out of the interface it
// answered on, or by broadcast out of that interface, for `reason`.
struct CredentialRoute {
    BroadcastReason reason = BroadcastReason::None;
    // The device's address (dotted decimal; empty when not known).
    std::string address;
    // The interface it answered on, by name for the texts; empty when not
    // known (a broadcast then leaves by every interface, and the name is
    // the list of them when the owner knows it).
    std::string interfaceName;
    unsigned interfaceIndex = 0;

    bool Unicast() const { return reason == BroadcastReason::None; }
    bool operator==(const CredentialRoute&) const = default;
};

// What can be told before any query: unicast is possible when `address`
// lies in one of the networks of `answeredOn` (null: the interface is not known)
// and no other listed device answers from it (`addressShared`). The detail
// query by unicast, just before the first command, still has to be
// answered: a route that says unicast here means "if it answers there".
CredentialRoute RouteBeforeQuery(std::string_view address, const NetworkInterface* answeredOn, bool addressShared);

// Whether a device of `registry` other than `mac` answers from `address`.
bool AddressSharedInRegistry(const DeviceRegistry& registry, const MacBytes& mac, std::string_view address);

// The route of the listed device `macText` as known before any query: from
// its record (the address it answered from and the interface it answered
// on, as `transport` read the interfaces last) and the other records.
// Nothing when the device is not listed.
std::optional<CredentialRoute> ListedDeviceRoute(const DeviceRegistry& registry, const Transport& transport,
                                                 std::string_view macText);

} // namespace pemblor
