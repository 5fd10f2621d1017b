#pragma once
#include <string>

namespace pemblor::bench {

// True when this process runs in a network namespace of the lab: every IPv4
// address on its interfaces lies in 198.18.0.0/15 or 127.0.0.0/8, and at
// least one lies in 198.18.0.0/15. Otherwise false, with the reason: a
// Discover from here could reach a real network.
bool InLabNamespace(std::string& reason);

} // namespace pemblor::bench
