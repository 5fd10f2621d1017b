#include "engine/JobOutcome.h"

#include <cstddef>
#include <iterator>

namespace pemblor {

namespace {

// By JobOutcome, in its order. A reboot sent without waiting counts as
// stored; SendFailed and Stopped have no name.
constexpr std::string_view kResultNames[] = {
    "stored",       "unchanged", "verified", "authentication-error", "timeout",      "not-found",       "unknown-result",
    "not-verified", "stored",    "",         "",                     "invalid",      "would-change",    "reboot-not-sent",
    "needs-broadcast"};
static_assert(std::size(kResultNames) == static_cast<std::size_t>(JobOutcome::NeedsBroadcast) + 1);

} // namespace

std::string_view ResultName(JobOutcome outcome)
{
    return kResultNames[static_cast<std::size_t>(outcome)];
}

bool Succeeded(JobOutcome outcome)
{
    return outcome == JobOutcome::Verified || outcome == JobOutcome::Stored || outcome == JobOutcome::RebootSent ||
           outcome == JobOutcome::Unchanged;
}

} // namespace pemblor
