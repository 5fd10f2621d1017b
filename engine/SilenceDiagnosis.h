#pragma once
#include <string>
#include <vector>

namespace pemblor {

// Why a discovery that found no device may have found none.
enum class SilenceCause {
    Unknown,        // nothing to tell (the interfaces could not be listed, or no send went out)
    NoInterface,    // no IPv4 interface is up with broadcast
    InboundBlocked, // the query went out but its own copy never came back
    NobodyAnswered, // the query went out and came back; no agent answered
};

struct SilenceDiagnosis {
    SilenceCause cause = SilenceCause::Unknown;
    // InboundBlocked: the interfaces whose copy never came back;
    // NobodyAnswered: those it was sent and heard on. In the system's order.
    std::vector<std::string> interfaces;
};

} // namespace pemblor
