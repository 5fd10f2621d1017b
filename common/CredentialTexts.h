#pragma once
#include "common/Translatable.h"
#include "engine/CredentialRoute.h"

#include <string>
#include <string_view>

namespace pemblor {

// How the windows word the way a device's password travels (CredentialRoute).
// Each takes the interface's name as the route gives it; without one (not
// known) the texts say "this network segment".

// The Setup IP dialogs' warning above Apply Changes (also its accessible
// name): "The password will be sent by broadcast: every computer on eth0 can
// read it."
std::string BroadcastWarningText(std::string_view interfaceName, TextLookup lookup = kSourceText);

// The dialogs' Yes/No question when the device did not answer by unicast:
// "DEVICE does not answer by unicast. Send the password by broadcast? Every
// computer on eth0 can read it."
std::string AskBroadcastText(std::string_view device, std::string_view interfaceName,
                             TextLookup lookup = kSourceText);

// The device table's tool-tip line for a route known before any query:
// "by unicast to 198.18.1.12 on eth0, if it answers there", "by broadcast on
// eth0: outside its network", "by broadcast on eth0: shares its address".
std::string RouteToolTipLine(const CredentialRoute& route, TextLookup lookup = kSourceText);

} // namespace pemblor
