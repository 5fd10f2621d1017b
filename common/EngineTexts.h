#pragma once
#include "common/Translatable.h"
#include "engine/Request.h"

namespace pemblor {

// How both front ends word what the discovery reports; the windows show
// the translation of these texts, the command line the texts themselves.
inline constexpr const char* MsgNoDevices = PEMBLOR_TR_NOOP("Pemblor", "Find no devices!");
inline constexpr const char* MsgThreadLaunch = PEMBLOR_TR_NOOP("Pemblor", "Cannot Create ServiceSocket Thread");
inline constexpr const char* MsgSocketStartup = PEMBLOR_TR_NOOP("Pemblor", "Socket Init Error");
// The failed send of a discovery or the stop datagram ...
inline constexpr const char* MsgSendFailed = PEMBLOR_TR_NOOP("Pemblor", "skSend.SendTo: %d\n");
// ... and of a request to the selected device.
inline constexpr const char* MsgDeviceSendFailed = PEMBLOR_TR_NOOP("Pemblor", "detail_sk.SendTo: %d\n");

// The list is full (DeviceRegistry::MaxDevices): "%1" the devices kept,
// "%2" the MACs that answered beyond them.
inline constexpr const char* MsgDevicesUnlisted =
    PEMBLOR_TR_NOOP("Pemblor", "Only the first %1 devices are listed; %2 more answered.");
// A MAC that answered from a second address in one discovery round: "%1"
// the MAC, "%2" the other addresses.
inline constexpr const char* MsgAlsoAnsweredFrom = PEMBLOR_TR_NOOP("Pemblor", "%1 also answered from %2");
// Where a message names an interface that is not known.
inline constexpr const char* MsgOneSegment = PEMBLOR_TR_NOOP("Pemblor", "this network segment");

inline const char* ReceiveFailureText(ReceiveFailure failure)
{
    return failure == ReceiveFailure::Launch ? MsgThreadLaunch : MsgSocketStartup;
}

// The "%d" format of a failed send of `request`.
inline const char* SendFailureFormat(Request request)
{
    return request == Request::Discovery || request == Request::Stop ? MsgSendFailed : MsgDeviceSendFailed;
}

} // namespace pemblor
