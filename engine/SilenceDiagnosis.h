#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pemblor {

// The kernel's reverse-path filter dropped packets while the tool listened.
// The count is the namespace's, every sender's packets included.
struct ReversePathNote {
    struct Filtered {
        std::string name;
        int mode = 0; // 1 strict, 2 loose
        bool hasAddress = false;
        bool operator==(const Filtered&) const = default;
    };
    std::uint64_t packets = 0;
    // The tool's interfaces on which filtering is on, in the system's order.
    std::vector<Filtered> interfaces{};
    bool operator==(const ReversePathNote&) const = default;
};

// Why a discovery that found no device may have found none.
enum class SilenceCause {
    Unknown,            // nothing to tell (the interfaces could not be listed, or no send went out)
    NoInterface,        // no interface is up with a link and broadcast
    InboundBlocked,     // the query went out but its own copy never came back
    ReversePathDropped, // the kernel's reverse-path filter dropped packets meanwhile
    NobodyAnswered,     // the query went out and came back; no agent answered
};

struct SilenceDiagnosis {
    SilenceCause cause = SilenceCause::Unknown;
    // InboundBlocked: the interfaces whose copy never came back;
    // NobodyAnswered: those it was sent and heard on; NoInterface: those up
    // without a link. In the system's order.
    std::vector<std::string> interfaces;
    // ReversePathDropped, or, when devices did answer, the note that others
    // may have been dropped.
    std::optional<ReversePathNote> reversePath{};
};

} // namespace pemblor
