#pragma once
#include "common/Translatable.h"
#include "engine/DeviceJob.h"
#include "engine/JobOutcome.h"

#include <string>
#include <string_view>
#include <vector>

namespace pemblor {

// The one explanation of how a device ended, for every path: the Setup IP
// dialogs show it (translated through `lookup`), pemblorctl prints it on
// standard error and as `message`, and the Ansible modules report that
// message. Empty for an outcome that needs none (verified, stored,
// unchanged, a dry run's would-change, a reboot sent, stopped before
// anything was sent).
//
// After a reboot it tells, in this order: not heard again (where it may be
// instead, or that DHCP may have given it another address); heard from
// another address (its old one, or some other); heard at its address with
// another netmask.
std::string OutcomeText(const DeviceOutcome& outcome, TextLookup lookup = kSourceText);

// How a device's job ended, as an outcome to tell: `sendFailures` are the
// sends its listener was told of.
DeviceOutcome OutcomeOf(std::string_view mac, const JobReport& report, std::vector<SendFailure> sendFailures = {});

// Why a device's password would have had to go by broadcast, naming the
// device: "DEVICE is outside this computer's networks: its password would
// be broadcast to every host on eth0." (or "shares its address with another
// device", or "does not answer by unicast").
std::string BroadcastRefusedText(std::string_view device, const CredentialRoute& route,
                                 TextLookup lookup = kSourceText);

// The failed sends as one text: "skSend.SendTo: 19 (eth1)", joined by "; ".
std::string SendFailuresText(const std::vector<SendFailure>& failures, TextLookup lookup = kSourceText);

// Invalid: the plan put `mac` on `address`, where `holder` answered when
// read; nothing was changed.
std::string PlanConflictText(std::string_view mac, std::string_view address, std::string_view holder,
                             TextLookup lookup = kSourceText);

} // namespace pemblor
