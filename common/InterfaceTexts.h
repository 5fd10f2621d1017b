#pragma once
#include "common/Translatable.h"
#include "engine/NetworkInterface.h"
#include "engine/SilenceDiagnosis.h"

#include <optional>
#include <string>
#include <string_view>

namespace pemblor {


// The message at the end of a discovery that found no device: "Find no
// devices!" as its first line, then what the tool can tell about the cause.
std::string FindNoDevicesText(const SilenceDiagnosis& diagnosis, TextLookup lookup = kSourceText);

// What the kernel's reverse-path filter dropped, why, and the way out per
// interface: the note when other devices did answer, and the reason of a
// silent discovery.
std::string ReversePathText(const ReversePathNote& note, TextLookup lookup = kSourceText);

// A failed send's message: `format` with its "%d" replaced by the error and
// the interface's name after the number, e.g. "skSend.SendTo: 19 (eth1)\n";
// without a name (not known), the number alone.
std::string SendFailureText(std::string_view format, int error, std::string_view interfaceName);

// Why the page of a device at `address` (dotted text) that answered on
// `heardOn` will probably not open, or nothing when the address is inside
// one of that interface's networks (or is not an address): outside them, or
// the interface has no address at all.
std::optional<std::string> OutsideSubnetReason(std::string_view address, const NetworkInterface& heardOn,
                                               TextLookup lookup = kSourceText);
// The question Connect to Web Server asks before opening such a page.
std::string OpenAnywayQuestion(std::string_view address, const NetworkInterface& heardOn,
                               TextLookup lookup = kSourceText);

} // namespace pemblor
