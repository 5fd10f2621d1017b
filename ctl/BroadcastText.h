#pragma once
#include "engine/CredentialRoute.h"

#include <string>
#include <string_view>

namespace pemblor {

// How pemblorctl words a password that would go by broadcast (set, reboot,
// apply), naming the device.

// Standard error before the password leaves by broadcast: "pemblorctl:
// warning: DEVICE is outside this computer's networks: its password will be
// broadcast to every host on eth0."
std::string BroadcastWarning(std::string_view device, const CredentialRoute& route);

// Why --unicast-only held the password back: "DEVICE is outside this
// computer's networks: its password would be broadcast to every host on
// eth0. Run without --unicast-only to send it anyway." (or "shares its
// address with another device", or "does not answer by unicast").
std::string BroadcastRefusedText(std::string_view device, const CredentialRoute& route);

} // namespace pemblor
