#include "ctl/BroadcastText.h"

namespace pemblor {

namespace {

std::string Why(const CredentialRoute& route)
{
    switch (route.reason) {
    case BroadcastReason::SharedAddress:
        return " shares its address with another device";
    case BroadcastReason::NoUnicastAnswer:
        return " does not answer by unicast";
    case BroadcastReason::OutsideNetwork:
    case BroadcastReason::None:
        break;
    }
    return " is outside this computer's networks";
}

std::string Where(const CredentialRoute& route)
{
    return route.interfaceName.empty() ? std::string("this network segment") : route.interfaceName;
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
