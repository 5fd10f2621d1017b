#include "tests/fakenet/FakeInterfaceList.h"

#include <net/if.h>

namespace pemblor {

FakeInterfaceList::FakeInterfaceList(std::shared_ptr<FakeNetwork::State> state, std::string hostAddress)
    : m_state(std::move(state)), m_host(std::move(hostAddress))
{
}

bool FakeInterfaceList::Usable(std::vector<NetworkInterface>& out)
{
    out.clear();
    if (m_nFailNext != 0) {
        m_lastError = m_nFailNext;
        m_nFailNext = 0;
        return false;
    }
    std::lock_guard lock(m_state->mutex);
    const auto host = m_state->hosts.find(m_host);
    if (host == m_state->hosts.end())
        return true;
    std::vector<InterfaceEntry> entries;
    for (const FakeNetwork::State::Interface& candidate : host->second->interfaces) {
        const unsigned flags =
            (candidate.up ? unsigned{IFF_UP} : 0u) | (candidate.link ? unsigned{IFF_RUNNING} : 0u) | IFF_BROADCAST;
        InterfaceEntry entry{candidate.name, candidate.index, flags};
        Ipv4Network first{0, candidate.netmask};
        if (ParseIpv4(candidate.address.c_str(), first.address))
            entry.networks.push_back(first);
        entries.push_back(std::move(entry));
    }
    InterfaceChoice choice = ChooseInterfaces(entries);
    out = std::move(choice.usable);
    m_withoutLink = std::move(choice.withoutLink);
    return true;
}

} // namespace pemblor
