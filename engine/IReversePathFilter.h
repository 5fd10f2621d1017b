#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace pemblor {

// The kernel's reverse-path filter: how many packets it has dropped in this
// network namespace, and how it is set per interface. The kernel drops a
// packet whose sender it would not route back out of the interface the
// packet came in on.
class IReversePathFilter {
public:
    virtual ~IReversePathFilter() = default;

    // Packets dropped so far (a counter that only grows); nothing when it
    // cannot be read.
    virtual std::optional<std::uint64_t> Drops() = 0;
    // The setting in force on the interface: the larger of the one for all
    // interfaces and its own (0 off, 1 strict, 2 loose); 0 when unreadable.
    virtual int Mode(std::string_view interfaceName) = 0;
};

} // namespace pemblor
