#pragma once
#include "engine/IReversePathFilter.h"
#include "engine/NetworkInterface.h"
#include "engine/SilenceDiagnosis.h"

#include <optional>
#include <vector>

namespace pemblor {

// Whether the kernel's reverse-path filter dropped packets during one
// listening window: the count read as it opens and as it closes.
class ReversePathWatch final {
public:
    // The window opens; `filter` null: nothing is read.
    void Begin(IReversePathFilter* filter);
    // The window closes. A note when the count rose, naming those of
    // `interfaces` that filter; nothing otherwise, or when it could not be
    // read.
    std::optional<ReversePathNote> End(const std::vector<NetworkInterface>& interfaces);

private:
    IReversePathFilter* m_filter = nullptr;
    std::optional<std::uint64_t> m_before;
};

} // namespace pemblor
