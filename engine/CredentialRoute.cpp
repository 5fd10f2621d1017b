#include "engine/CredentialRoute.h"

#include "engine/DeviceRegistry.h"
#include "engine/Transport.h"
#include "protocol/MacText.h"

#include <algorithm>

namespace pemblor {

CredentialRoute RouteBeforeQuery(std::string_view address, const NetworkInterface* answeredOn, bool addressShared)
{
    CredentialRoute route;
    route.address = std::string(address);
    if (answeredOn) {
        route.interfaceName = answeredOn->name;
        route.interfaceIndex = answeredOn->index;
    }
    std::uint32_t host = 0;
    const bool parsed = ParseIpv4(route.address.c_str(), host);
    // Inside when one of the interface's networks holds it as a host: a
    // network's own address and its broadcast address name no one host (on
    // a /31 or /32 every address does).
    const auto namesHost = [host](const Ipv4Network& network) {
        return network.Contains(host) && (~network.netmask <= 1u || ((host & ~network.netmask) != 0 &&
                                                                     (host | network.netmask) != 0xFFFFFFFFu));
    };
    const std::vector<Ipv4Network> networks = answeredOn ? answeredOn->Networks() : std::vector<Ipv4Network>();
    if (!parsed || std::none_of(networks.begin(), networks.end(), namesHost))
        route.reason = BroadcastReason::OutsideNetwork;
    else if (addressShared)
        route.reason = BroadcastReason::SharedAddress;
    return route;
}

bool AddressSharedInRegistry(const DeviceRegistry& registry, const MacBytes& mac, std::string_view address)
{
    if (address.empty())
        return false;
    bool shared = false;
    const int size = registry.Size();
    for (int index = 0; index < size && !shared; ++index) {
        registry.Visit(index, [&](const DeviceRecord& record) {
            shared = record.mac != mac && SameAddress(record.address, address);
        });
    }
    return shared;
}

std::optional<CredentialRoute> ListedDeviceRoute(const DeviceRegistry& registry, const Transport& transport,
                                                 std::string_view macText)
{
    const std::optional<int> index = registry.Find(macText);
    const std::optional<DeviceRecord> record = index ? registry.Get(*index) : std::nullopt;
    if (!record)
        return std::nullopt;
    std::optional<NetworkInterface> answeredOn = transport.InterfaceByIndex(record->interfaceIndex);
    if (!answeredOn && !record->interfaceName.empty())
        answeredOn = transport.InterfaceNamed(record->interfaceName);
    CredentialRoute route = RouteBeforeQuery(record->address, answeredOn ? &*answeredOn : nullptr,
                                             AddressSharedInRegistry(registry, record->mac, record->address));
    if (!answeredOn)
        route.interfaceName = record->interfaceName;
    return route;
}

} // namespace pemblor
