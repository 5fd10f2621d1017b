#pragma once
#include "engine/NetworkEndpoint.h"
#include "common/Translatable.h"

#include <string>
#include <string_view>

namespace pemblor {

// A failure message: `format` with its "%d" replaced by `error` in decimal.
inline std::string FormatError(std::string_view format, int error)
{
    std::string text(format);
    const auto at = text.find("%d");
    if (at != std::string::npos)
        text.replace(at, 2, std::to_string(error));
    return text;
}

// The message for a failed opening of the network endpoint; empty when it
// opened.
inline std::string EndpointFailureText(const EndpointResult& result, TextLookup lookup = kSourceText)
{
    // By step, in EndpointStep's order from CreateSend on.
    constexpr const char* Formats[] = {
        PEMBLOR_TR_NOOP("Pemblor", "m_skSend.Create Error(%d)"),
        PEMBLOR_TR_NOOP("Pemblor", "m_skRecv.Create Error(%d)"),
        PEMBLOR_TR_NOOP("Pemblor", "m_skSend.SetSockOpt Error(%d)!"),
        PEMBLOR_TR_NOOP("Pemblor", "m_skRecv.SetSockOpt Error(%d)!")};
    if (result.failed == EndpointStep::None)
        return {};
    return FormatError(lookup(Formats[static_cast<int>(result.failed) - 1]), result.error);
}

} // namespace pemblor
