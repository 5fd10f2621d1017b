#include "ui/setupip/SettingsMap.h"

namespace pemblor {

void SettingsMap::SetAt(std::string_view name, std::string_view value)
{
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(name);
    if (it == m_values.end())
        m_values.emplace(std::string(name), std::string(value));
    else
        it->second.assign(value);
}

bool SettingsMap::Lookup(std::string_view name, std::string& value) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(name);
    if (it == m_values.end())
        return false;
    value = it->second;
    return true;
}

std::string SettingsMap::ValueOf(std::string_view name) const
{
    std::string value;
    Lookup(name, value);
    return value;
}

} // namespace pemblor
