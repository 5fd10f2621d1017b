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
    switch (result.failed) {
    case EndpointStep::CreateSend:
        return FormatError(lookup(PEMBLOR_TR_NOOP("Pemblor", "m_skSend.Create Error(%d)")), result.error);
    case EndpointStep::CreateReceive:
        return FormatError(lookup(PEMBLOR_TR_NOOP("Pemblor", "m_skRecv.Create Error(%d)")), result.error);
    case EndpointStep::BroadcastSend:
        return FormatError(lookup(PEMBLOR_TR_NOOP("Pemblor", "m_skSend.SetSockOpt Error(%d)!")), result.error);
    case EndpointStep::BroadcastReceive:
        return FormatError(lookup(PEMBLOR_TR_NOOP("Pemblor", "m_skRecv.SetSockOpt Error(%d)!")), result.error);
    case EndpointStep::None:
        break;
    }
    return {};
}

} // namespace pemblor
