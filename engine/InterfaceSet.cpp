#include "engine/InterfaceSet.h"

#include <algorithm>
#include <string>

namespace pemblor {

bool InterfaceSet::Refresh()
{
    std::vector<NetworkInterface> fresh;
    const bool listed = m_list.Usable(fresh);
    if (!listed)
        fresh.clear();
    std::vector<std::string> withoutLink = listed ? m_list.WithoutLink() : std::vector<std::string>();
    std::lock_guard lock(m_mutex);
    m_interfaces = std::move(fresh);
    m_withoutLink = std::move(withoutLink);
    return listed;
}

std::vector<std::string> InterfaceSet::WithoutLink() const
{
    std::lock_guard lock(m_mutex);
    return m_withoutLink;
}

std::vector<NetworkInterface> InterfaceSet::All() const
{
    std::lock_guard lock(m_mutex);
    return m_interfaces;
}

std::optional<NetworkInterface> InterfaceSet::ByIndex(unsigned index) const
{
    return Find([index](const NetworkInterface& usable) { return usable.index == index; });
}

std::optional<NetworkInterface> InterfaceSet::ByName(std::string_view name) const
{
    return Find([name](const NetworkInterface& usable) { return usable.name == name; });
}

std::optional<NetworkInterface> InterfaceSet::Reaching(unsigned index, std::string_view address) const
{
    if (std::optional<NetworkInterface> answeredOn = index != 0 ? ByIndex(index) : std::nullopt)
        return answeredOn;
    std::uint32_t host = 0;
    if (!ParseIpv4(std::string(address).c_str(), host))
        return std::nullopt;
    return Find([host](const NetworkInterface& usable) { return usable.Contains(host); });
}

std::optional<NetworkInterface> InterfaceSet::Find(FunctionRef<bool(const NetworkInterface&)> match) const
{
    std::lock_guard lock(m_mutex);
    const auto found = std::find_if(m_interfaces.begin(), m_interfaces.end(), match);
    return found != m_interfaces.end() ? std::optional(*found) : std::nullopt;
}

} // namespace pemblor
