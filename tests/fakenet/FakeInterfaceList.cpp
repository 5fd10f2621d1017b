#include "tests/fakenet/FakeInterfaceList.h"

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
    for (const FakeNetwork::State::Interface& candidate : host->second->interfaces) {
        NetworkInterface usable;
        if (!candidate.up || !ParseIpv4(candidate.address.c_str(), usable.address))
            continue;
        usable.name = candidate.name;
        usable.index = candidate.index;
        usable.netmask = candidate.netmask;
        out.push_back(std::move(usable));
    }
    return true;
}

} // namespace pemblor
