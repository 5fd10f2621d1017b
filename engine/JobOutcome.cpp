#include "engine/JobOutcome.h"

namespace pemblor {

std::string_view ResultName(JobOutcome outcome)
{
    switch (outcome) {
    case JobOutcome::Stored:
    case JobOutcome::RebootSent:
        return "stored";
    case JobOutcome::Unchanged:
        return "unchanged";
    case JobOutcome::Verified:
        return "verified";
    case JobOutcome::AuthenticationError:
        return "authentication-error";
    case JobOutcome::Timeout:
        return "timeout";
    case JobOutcome::NotFound:
        return "not-found";
    case JobOutcome::UnknownResult:
        return "unknown-result";
    case JobOutcome::NotVerified:
        return "not-verified";
    case JobOutcome::Invalid:
        return "invalid";
    case JobOutcome::WouldChange:
        return "would-change";
    case JobOutcome::RebootNotSent:
        return "reboot-not-sent";
    case JobOutcome::NeedsBroadcast:
        return "needs-broadcast";
    case JobOutcome::SendFailed:
    case JobOutcome::Stopped:
        break;
    }
    return {};
}

bool Succeeded(JobOutcome outcome)
{
    return outcome == JobOutcome::Verified || outcome == JobOutcome::Stored || outcome == JobOutcome::RebootSent ||
           outcome == JobOutcome::Unchanged;
}

} // namespace pemblor
