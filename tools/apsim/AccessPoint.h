#pragma once
#include "ApSettings.h"
#include "OutgoingReply.h"
#include "Quirks.h"

#include "protocol/ReplyDatagram.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace apsim {

// What one command (a type-2 request) addressed to an access point did.
struct CommandOutcome {
    enum class Kind { Set, Reboot };
    // Accepted: carried out. Refused: the credentials were wrong, or a
    // result-code quirk answered a settings change with another code than 0.
    // Ignored: the access point was restarting, gone or silent.
    enum class Verdict { Accepted, Refused, Ignored };

    Kind kind = Kind::Set;
    Verdict verdict = Verdict::Ignored;
    std::optional<OutgoingReply> reply;
};

// One access point's agent. Its flash holds the settings that "flash get"
// reads and "flash set" writes; the running address and mask are the flash
// values of the last (re)boot, so a changed IP_ADDR is reported at once but
// answered from only after a reboot (at once with apply-immediately; a
// back-at or back-netmask quirk overwrites them as the reboot ends).
class AccessPoint final {
public:
    using Clock = std::chrono::steady_clock;

    AccessPoint(const ApSettings& settings, const Quirks& quirks);

    const pemblor::MacBytes& mac() const { return m_mac; }
    std::uint32_t runningAddress() const { return m_nRunningIp; }
    // Whether it hears a request sent to its own address (unicast), not
    // only one sent to 255.255.255.255.
    bool HearsUnicast() const { return !m_quirks.broadcastOnly; }
    // Tests change how the access point behaves between requests.
    void SetQuirks(const Quirks& quirks) { m_quirks = quirks; }
    const Quirks& quirks() const { return m_quirks; }

    // A type-0 request: `discovery` when its MAC is all zero, else it is a
    // detail query for this access point.
    std::optional<OutgoingReply> OnQuery(const pemblor::ReplyDatagram& request, bool discovery, Clock::time_point now);
    // A type-2 request addressed to this access point; `user` and `pass` are
    // its credential fields up to their NUL. Refused credentials give result
    // 1 and change nothing (a refused reboot does not restart); accepted
    // "flash set" entries give result 0 (a result-code quirk answers a
    // settings change with its code instead, and only code 0 with accepted
    // credentials changes anything); "reboot" with accepted credentials is
    // not answered. A request with a "reboot" entry is a reboot, any other a
    // settings change.
    CommandOutcome OnCommand(const pemblor::ReplyDatagram& request, std::string_view user, std::string_view pass,
                             Clock::time_point now, std::chrono::milliseconds rebootTime);

private:
    bool Awake(Clock::time_point now);
    void RunFlashAddresses();
    std::optional<std::string> Lookup(std::string_view name) const;
    std::vector<std::uint8_t> BuildQueryReply(std::vector<std::string> texts) const;
    OutgoingReply Address(std::vector<std::uint8_t> bytes) const;

    pemblor::MacBytes m_mac;
    std::string m_strUser;
    std::string m_strPass;
    Quirks m_quirks;
    std::map<std::string, std::string, std::less<>> m_flash;
    std::uint32_t m_nRunningIp;
    std::uint32_t m_nRunningMask;
    std::optional<Clock::time_point> m_rebootDone;
    bool m_bGone = false; // rebooted with never-return
};

} // namespace apsim
