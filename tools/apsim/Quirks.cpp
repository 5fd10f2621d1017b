#include "Quirks.h"

#include "LabAddress.h"
#include "ParseNumber.h"

#include <array>
#include <utility>

namespace apsim {
namespace {

// The quirks that take no value on the command line, and what each sets.
constexpr std::array<std::pair<std::string_view, bool Quirks::*>, 9> Flags{{
    {"quote-ssid", &Quirks::quoteSsid},
    {"shuffle-entries", &Quirks::shuffleEntries},
    {"silent", &Quirks::silent},
    {"no-detail", &Quirks::noDetail},
    {"broadcast-replies", &Quirks::broadcastReplies},
    {"zero-mac-result", &Quirks::zeroMacResult},
    {"never-return", &Quirks::neverReturn},
    {"apply-immediately", &Quirks::applyImmediately},
    {"broadcast-only", &Quirks::broadcastOnly},
}};

bool Quirks::*FlagMember(std::string_view key)
{
    for (const auto& [name, member] : Flags)
        if (name == key)
            return member;
    return nullptr;
}

// Nothing (a flag on the command line), "1" or "0".
bool ParseFlag(std::string_view value, bool& out)
{
    if (!value.empty() && value != "1" && value != "0")
        return false;
    out = value != "0";
    return true;
}

std::optional<MalformedMode> ParseMalformed(std::string_view text)
{
    constexpr std::pair<std::string_view, MalformedMode> Modes[] = {
        {"count-past-end", MalformedMode::CountPastEnd}, {"length-past-end", MalformedMode::LengthPastEnd},
        {"huge-entry", MalformedMode::HugeEntry},         {"control-chars", MalformedMode::ControlChars},
        {"zero-length-entries", MalformedMode::ZeroLengthEntries}, {"none", MalformedMode::None}};
    for (const auto& [name, mode] : Modes)
        if (name == text)
            return mode;
    return std::nullopt;
}

} // namespace

bool Quirks::IsFlag(std::string_view key)
{
    return FlagMember(key) != nullptr;
}

bool Quirks::IsQuirk(std::string_view key)
{
    return IsFlag(key) || key == "reply-delay-ms" || key == "flood-macs" || key == "reply-type" || key == "answer-from" ||
           key == "missing-entry" || key == "extra-entry" || key == "malformed" || key == "result-code" ||
           key == "late-copy-ms" || key == "back-at" || key == "back-netmask";
}

bool Quirks::Apply(std::string_view key, std::string_view value, std::string& error)
{
    bool ok = true;
    if (bool Quirks::*flag = FlagMember(key))
        ok = ParseFlag(value, this->*flag);
    else if (key == "reply-delay-ms")
        ok = ParseNumber(value, replyDelayMs) && replyDelayMs >= 0;
    else if (key == "flood-macs")
        ok = ParseNumber(value, floodMacs) && floodMacs >= 0 && floodMacs <= 0xFFFFFF;
    else if (key == "reply-type")
        ok = ParseNumber(value, replyType);
    else if (key == "answer-from") {
        answerFrom = ParseAddress(value);
        ok = answerFrom && IsLabAddress(*answerFrom);
    } else if (key == "result-code") {
        int code = 0;
        ok = ParseNumber(value, code) && code >= 0 && code <= 0xFF;
        if (ok)
            resultCode = code;
    } else if (key == "late-copy-ms")
        ok = ParseNumber(value, lateCopyMs) && lateCopyMs >= 0;
    else if (key == "back-at") {
        backAt = ParseAddress(value);
        ok = backAt && IsLabAddress(*backAt);
    } else if (key == "back-netmask") {
        backNetmask = ParseAddress(value);
        ok = backNetmask.has_value();
    } else if (key == "missing-entry")
        missingEntries.emplace_back(value);
    else if (key == "extra-entry")
        extraEntries.emplace_back(value);
    else if (key == "malformed") {
        const auto mode = ParseMalformed(value);
        ok = mode.has_value();
        if (ok)
            malformed = *mode;
    } else {
        error = "unknown quirk '" + std::string(key) + "'";
        return false;
    }
    if (!ok)
        error = "bad value '" + std::string(value) + "' for " + std::string(key) +
                (key == "answer-from" || key == "back-at" ? " (must lie in 198.18.0.0/15)" : "");
    return ok;
}

} // namespace apsim
