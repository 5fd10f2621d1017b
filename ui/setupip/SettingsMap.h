#pragma once
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace pemblor {

// Setting name (compared exactly) to value text. Thread-safe: the receive
// thread stores reply entries while the user-interface thread reads and
// overwrites values. Every call copies; no reference into the map escapes.
class SettingsMap final {
public:
    SettingsMap() = default;
    SettingsMap(const SettingsMap&) = delete;
    SettingsMap& operator=(const SettingsMap&) = delete;

    void SetAt(std::string_view name, std::string_view value);
    // False, leaving `value` as it was, when the name is absent.
    bool Lookup(std::string_view name, std::string& value) const;
    // The value, or empty text when the name is absent.
    std::string ValueOf(std::string_view name) const;

private:
    mutable std::mutex m_mutex;
    std::map<std::string, std::string, std::less<>> m_values;
};

} // namespace pemblor
