#pragma once
#include "protocol/DatagramType.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace apsim {

enum class MalformedMode {
    None,
    CountPastEnd,      // entryCount promises three entries more than follow
    LengthPastEnd,     // the last entry's length runs 64 bytes past the datagram
    HugeEntry,         // the SSID value is padded until the datagram is 2048 bytes
    ControlChars,      // the SSID value carries control and non-ASCII bytes
    ZeroLengthEntries, // an entry of length 0 and one of length 1 precede the real ones
};

// Ways in which one access point departs from a well-behaved agent. Reply
// shaping (type, order, content, malformed) applies to query replies only,
// the zero MAC, the result code and the late copy to results only; delay,
// sender address, broadcast and silence apply to every reply.
struct Quirks {
    int replyDelayMs = 0;
    // Each discovery reply is followed by this many copies under made-up
    // MACs (a host that floods the tool with devices).
    int floodMacs = 0;
    std::uint32_t replyType = pemblor::TypeQueryReply;
    std::optional<std::uint32_t> answerFrom; // host order
    bool quoteSsid = false;
    bool shuffleEntries = false; // entries in reverse order
    bool silent = false;
    bool noDetail = false;
    bool broadcastReplies = false;
    bool zeroMacResult = false;    // results (to settings changes and reboots) carry MAC 00:00:00:00:00:00
    bool neverReturn = false;      // an accepted reboot silences the access point for good
    bool applyImmediately = false; // a changed address and mask are answered from at once, no reboot
    bool broadcastOnly = false;    // hears requests sent to 255.255.255.255 only, none sent to its address
    // Every settings change is answered with this result code instead of 0
    // or 1; the change is carried out only when it is 0 and the credentials
    // are accepted.
    std::optional<int> resultCode;
    // > 0: each result leaves once more this many ms after the first (a
    // second path into the segment, a slow relay).
    int lateCopyMs = 0;
    // A restart runs (and stores) this address or netmask instead of the
    // one stored before it.
    std::optional<std::uint32_t> backAt;     // host order
    std::optional<std::uint32_t> backNetmask; // host order
    // Behaviours that tests of the tool set directly (no option names):
    int discoveryRepeats = 0;    // each discovery reply leaves this many more times
    bool ignoreCommands = false; // commands are heard but neither answered nor carried out
    bool keepAddress = false;    // a changed address and mask are stored, but a reboot keeps running the old ones
    std::vector<std::string> missingEntries;
    std::vector<std::string> extraEntries; // "NAME=VALUE" texts appended as they are
    MalformedMode malformed = MalformedMode::None;

    // Sets one quirk by its option name without the leading "--" (the same
    // names serve as keys of --ap). Flags take an empty value, "1" or "0".
    bool Apply(std::string_view key, std::string_view value, std::string& error);
    // True for the names Apply knows and that take no value on the command line.
    static bool IsFlag(std::string_view key);
    static bool IsQuirk(std::string_view key);
};

} // namespace apsim
