#pragma once
#include "engine/IReversePathFilter.h"

#include <string>

namespace pemblor {

// Reads the filter of the calling process's namespace under `proc`: the
// IPReversePathFilter field of net/netstat's TcpExt lines, and
// sys/net/ipv4/conf/{all,IF}/rp_filter.
class ProcReversePathFilter final : public IReversePathFilter {
public:
    explicit ProcReversePathFilter(std::string proc = "/proc") : m_proc(std::move(proc)) {}

    std::optional<std::uint64_t> Drops() override;
    int Mode(std::string_view interfaceName) override;

private:
    std::string m_proc;
};

} // namespace pemblor
