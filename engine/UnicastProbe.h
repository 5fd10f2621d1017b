#pragma once
#include "engine/CredentialRoute.h"
#include "engine/InterfaceSet.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pemblor {

// The password route's unicast probe: just before a command that carries a
// device's credentials, whether they may go to it by unicast, and where.
// Its owner locates the device first when it does not know where it
// answers from (the detail query by broadcast); then the probe names each
// address that unicast can reach, in turn, and the owner asks the device
// there with the detail query by unicast, waiting unicastQueryTimeoutMs for
// each. The probe sends nothing and waits for nothing itself.
class UnicastProbe {
public:
    // Whether another listed device answers from an address (null: none is
    // known to).
    using AddressShared = std::function<bool(std::string_view address)>;

    // Starts over for a device that answers from `address`, heard on
    // `answeredOn` (null: not known), which an accepted change may have moved
    // to `movedTo` (empty: none). The route when no address is worth asking
    // (why the one it answers from will not do); else nothing, and Asked()
    // is the first to ask.
    std::optional<CredentialRoute> Begin(const std::string& address, const std::string& movedTo,
                                         const NetworkInterface* answeredOn, const AddressShared& shared)
    {
        m_candidates.clear();
        m_asked = 0;
        CredentialRoute route = RouteBeforeQuery(address, answeredOn, shared && shared(address));
        if (route.Unicast())
            m_candidates.push_back(route);
        if (!movedTo.empty() && !SameAddress(movedTo, address)) {
            CredentialRoute moved = RouteBeforeQuery(movedTo, answeredOn, shared && shared(movedTo));
            if (moved.Unicast())
                m_candidates.push_back(moved);
        }
        if (m_candidates.empty())
            return route;
        return std::nullopt;
    }

    const CredentialRoute& Asked() const { return m_candidates[m_asked]; }

    // Asked() answered: the route there, unless a device that shares the
    // address was heard while it was asked.
    CredentialRoute Answered(const AddressShared& shared) const
    {
        CredentialRoute route = Asked();
        if (shared && shared(route.address))
            route.reason = BroadcastReason::SharedAddress;
        return route;
    }

    // Asked() did not answer in time, or could not be asked: nothing while
    // an address is left (Asked() is now that one); else the route by
    // broadcast, out of the interface of the first.
    std::optional<CredentialRoute> Unanswered()
    {
        if (++m_asked < m_candidates.size())
            return std::nullopt;
        CredentialRoute route = m_candidates.front();
        route.reason = BroadcastReason::NoUnicastAnswer;
        return route;
    }

    // The route when the device was not heard at all: by broadcast, which
    // leaves by every interface of `interfaces` (null: where the routes
    // send it).
    static CredentialRoute Unheard(const InterfaceSet* interfaces)
    {
        CredentialRoute route{BroadcastReason::NoUnicastAnswer, {}, {}, 0};
        if (interfaces)
            for (const NetworkInterface& usable : interfaces->All())
                route.interfaceName += (route.interfaceName.empty() ? "" : ", ") + usable.name;
        return route;
    }

private:
    std::vector<CredentialRoute> m_candidates;
    std::size_t m_asked = 0;
};

} // namespace pemblor
