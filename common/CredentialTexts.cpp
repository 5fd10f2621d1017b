#include "common/CredentialTexts.h"

#include "common/EngineTexts.h"
#include "common/FillText.h"

namespace pemblor {
namespace {

constexpr const char* MsgBroadcastWarning =
    PEMBLOR_TR_NOOP("Pemblor", "The password will be sent by broadcast: every computer on %1 can read it.");
constexpr const char* MsgAskBroadcast =
    PEMBLOR_TR_NOOP("Pemblor", "%1 does not answer by unicast. Send the password by broadcast? Every computer on %2 "
                               "can read it.");
constexpr const char* MsgByUnicast = PEMBLOR_TR_NOOP("Pemblor", "by unicast to %1 on %2, if it answers there");
constexpr const char* MsgOutsideNetwork = PEMBLOR_TR_NOOP("Pemblor", "by broadcast on %1: outside its network");
constexpr const char* MsgSharedAddress = PEMBLOR_TR_NOOP("Pemblor", "by broadcast on %1: shares its address");
constexpr const char* MsgNoUnicastAnswer =
    PEMBLOR_TR_NOOP("Pemblor", "by broadcast on %1: does not answer by unicast");

std::string Where(std::string_view interfaceName, TextLookup lookup)
{
    return interfaceName.empty() ? lookup(MsgOneSegment) : std::string(interfaceName);
}

} // namespace

std::string BroadcastWarningText(std::string_view interfaceName, TextLookup lookup)
{
    return FillText(lookup(MsgBroadcastWarning), {Where(interfaceName, lookup)});
}

std::string AskBroadcastText(std::string_view device, std::string_view interfaceName, TextLookup lookup)
{
    return FillText(lookup(MsgAskBroadcast), {device, Where(interfaceName, lookup)});
}

std::string RouteToolTipLine(const CredentialRoute& route, TextLookup lookup)
{
    const std::string where = Where(route.interfaceName, lookup);
    switch (route.reason) {
    case BroadcastReason::None:
        return FillText(lookup(MsgByUnicast), {route.address, where});
    case BroadcastReason::OutsideNetwork:
        return FillText(lookup(MsgOutsideNetwork), {where});
    case BroadcastReason::SharedAddress:
        return FillText(lookup(MsgSharedAddress), {where});
    case BroadcastReason::NoUnicastAnswer:
        break;
    }
    return FillText(lookup(MsgNoUnicastAnswer), {where});
}

} // namespace pemblor
