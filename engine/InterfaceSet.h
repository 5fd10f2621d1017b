#pragma once
#include "engine/FunctionRef.h"
#include "engine/IInterfaceList.h"

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pemblor {

// The interfaces the transport works with, as read at the last Refresh
// (each Discover). Refresh runs on the user-interface thread; the look-ups
// may run on any thread.
class InterfaceSet final {
public:
    explicit InterfaceSet(IInterfaceList& list) : m_list(list) {}

    // Re-reads the interfaces. False when the system could not be asked; the
    // set is then empty and LastError() tells why.
    bool Refresh();
    int LastError() const { return m_list.LastError(); }

    std::vector<NetworkInterface> All() const;
    // Those up without a link at the last Refresh, by name.
    std::vector<std::string> WithoutLink() const;
    std::optional<NetworkInterface> ByIndex(unsigned index) const;
    std::optional<NetworkInterface> ByName(std::string_view name) const;
    // The interface that reaches a device at `address` (dotted decimal)
    // that answered on `index`: that one, else (0, or gone) the one whose
    // network holds the address, where the routes send to it.
    std::optional<NetworkInterface> Reaching(unsigned index, std::string_view address) const;

private:
    std::optional<NetworkInterface> Find(FunctionRef<bool(const NetworkInterface&)> match) const;

    IInterfaceList& m_list;
    mutable std::mutex m_mutex;
    std::vector<NetworkInterface> m_interfaces;
    std::vector<std::string> m_withoutLink;
};

} // namespace pemblor
