#include "engine/InterfaceSet.h"

namespace pemblor {

bool InterfaceSet::Refresh()
{
    std::vector<NetworkInterface> fresh;
    const bool listed = m_list.Usable(fresh);
    if (!listed)
        fresh.clear();
    std::lock_guard lock(m_mutex);
    m_interfaces = std::move(fresh);
    return listed;
}

std::vector<NetworkInterface> InterfaceSet::All() const
{
    std::lock_guard lock(m_mutex);
    return m_interfaces;
}

std::optional<NetworkInterface> InterfaceSet::ByIndex(unsigned index) const
{
    std::lock_guard lock(m_mutex);
    for (const NetworkInterface& usable : m_interfaces) {
        if (usable.index == index)
            return usable;
    }
    return std::nullopt;
}

std::optional<NetworkInterface> InterfaceSet::ByName(std::string_view name) const
{
    std::lock_guard lock(m_mutex);
    for (const NetworkInterface& usable : m_interfaces) {
        if (usable.name == name)
            return usable;
    }
    return std::nullopt;
}

} // namespace pemblor
