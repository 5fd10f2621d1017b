#include "ctl/OutcomeWriter.h"

#include <nlohmann/json.hpp>

namespace pemblor {

namespace {

using Json = nlohmann::ordered_json;

Json Text(const std::optional<std::string>& value)
{
    return value ? Json(*value) : Json(nullptr);
}

Json Settings(const std::optional<DeviceSettings>& settings)
{
    if (!settings)
        return nullptr;
    Json object;
    object["ip"] = Text(settings->ipAddr);
    object["netmask"] = Text(settings->netmask);
    object["gateway"] = Text(settings->gateway);
    object["dhcp"] = settings->dhcp ? Json(settings->DhcpOn()) : Json(nullptr);
    return object;
}

} // namespace

std::string_view OutcomeName(JobOutcome outcome)
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
    case JobOutcome::SendFailed:
    case JobOutcome::Stopped:
        break;
    }
    return {};
}

void WriteOutcome(std::ostream& out, std::string_view mac, const JobReport& report, std::string_view message)
{
    Json object;
    object["mac"] = std::string(mac);
    object["result"] = std::string(OutcomeName(report.outcome));
    object["ip"] = report.address.empty() ? Json(nullptr) : Json(report.address);
    object["before"] = Settings(report.before);
    object["after"] = Settings(report.after);
    if (!message.empty())
        object["message"] = std::string(message);
    // Device texts are bytes, not necessarily UTF-8: invalid sequences become
    // U+FFFD instead of failing the line.
    out << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    out.flush();
}

} // namespace pemblor
