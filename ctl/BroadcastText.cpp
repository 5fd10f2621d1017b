#include "ctl/BroadcastText.h"

#include "common/EngineTexts.h"

namespace pemblor {

namespace {

std::string Why(const CredentialRoute& route)
{
    if (route.reason == BroadcastReason::SharedAddress)
        return " shares its address with another device";
    if (route.reason == BroadcastReason::NoUnicastAnswer)
        return " does not answer by unicast";
    return " is outside this computer's networks";
}

std::string Where(const CredentialRoute& route)
{
    return route.interfaceName.empty() ? std::string(MsgOneSegment) : route.interfaceName;
}

} // namespace

std::string BroadcastWarning(std::string_view device, const CredentialRoute& route)
{
    return "pemblorctl: warning: " + std::string(device) + Why(route) +
           ": its password will be broadcast to every host on " + Where(route) + ".";
}

std::string BroadcastRefusedText(std::string_view device, const CredentialRoute& route)
{
    return std::string(device) + Why(route) + ": its password would be broadcast to every host on " + Where(route) +
           ". Run without --unicast-only to send it anyway.";
}

} // namespace pemblor
