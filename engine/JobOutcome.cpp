#include "engine/JobOutcome.h"

#include <utility>

namespace pemblor {

namespace {

// A reboot sent without waiting counts as stored; SendFailed and Stopped
// have no name.
constexpr std::pair<JobOutcome, std::string_view> kResultNames[] = {
    {JobOutcome::Stored, "stored"},
    {JobOutcome::RebootSent, "stored"},
    {JobOutcome::Unchanged, "unchanged"},
    {JobOutcome::Verified, "verified"},
    {JobOutcome::AuthenticationError, "authentication-error"},
    {JobOutcome::Timeout, "timeout"},
    {JobOutcome::NotFound, "not-found"},
    {JobOutcome::UnknownResult, "unknown-result"},
    {JobOutcome::NotVerified, "not-verified"},
    {JobOutcome::Invalid, "invalid"},
    {JobOutcome::WouldChange, "would-change"},
    {JobOutcome::RebootNotSent, "reboot-not-sent"},
    {JobOutcome::NeedsBroadcast, "needs-broadcast"},
};

} // namespace

std::string_view ResultName(JobOutcome outcome)
{
    for (const auto& [named, name] : kResultNames) {
        if (named == outcome)
            return name;
    }
    return {};
}

bool Succeeded(JobOutcome outcome)
{
    return outcome == JobOutcome::Verified || outcome == JobOutcome::Stored || outcome == JobOutcome::RebootSent ||
           outcome == JobOutcome::Unchanged;
}

} // namespace pemblor
