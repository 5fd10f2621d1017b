#include "Options.h"

#include "LabAddress.h"
#include "ParseNumber.h"

#include "protocol/MacText.h"

#include <cstdlib>

namespace apsim {
namespace {

constexpr int MaxGenerated = 120000;
// The MAC holds the number in three bytes.
constexpr int MaxFirstNumber = 0xFFFFFF - MaxGenerated;

// Six two-digit hexadecimal bytes joined by ':', in either case: exactly
// the form FormatMacText writes once in upper case.
bool ParseMac(std::string_view text, pemblor::MacBytes& out)
{
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
    out = pemblor::ParseMacText(upper);
    return pemblor::FormatMacText(out).view() == upper;
}

// An address, in the lab range unless `anywhere`.
bool AddressValue(std::string_view text, std::uint32_t& out, bool anywhere = false)
{
    const auto address = ParseAddress(text);
    if (!address || !(anywhere || IsLabAddress(*address)))
        return false;
    out = *address;
    return true;
}

// Next host address of the lab range, skipping .0 and .255.
std::uint32_t NextHost(std::uint32_t address)
{
    do
        ++address;
    while ((address & 0xFF) == 0 || (address & 0xFF) == 0xFF);
    return address;
}

// One "key=value,key=value" access point description.
bool ParseApDescription(std::string_view text, ApSettings& settings, Quirks& quirks, std::string& error)
{
    bool haveIp = false;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        if (item.empty())
            continue;
        const std::size_t equals = item.find('=');
        const std::string_view key = item.substr(0, equals);
        const std::string_view value = equals == std::string_view::npos ? std::string_view{} : item.substr(equals + 1);
        bool ok = true;
        if (key == "ip")
            ok = haveIp = AddressValue(value, settings.ip);
        else if (key == "mac")
            ok = ParseMac(value, settings.mac);
        else if (key == "ssid")
            settings.ssid = value;
        else if (key == "channel")
            ok = ParseNumber(value, settings.channel);
        else if (key == "user")
            settings.user = value;
        else if (key == "pass")
            settings.pass = value;
        else if (key == "mask")
            ok = AddressValue(value, settings.mask, true);
        else if (key == "gw")
            ok = AddressValue(value, settings.gateway);
        else if (key == "dhcp")
            ok = (value == "0" || value == "1") && ParseNumber(value, settings.dhcp);
        else if (Quirks::IsQuirk(key)) {
            if (!quirks.Apply(key, value, error))
                return false;
        } else {
            error = "--ap: unknown key '" + std::string(key) + "'";
            return false;
        }
        if (!ok) {
            error = "--ap: bad value '" + std::string(value) + "' for " + std::string(key);
            return false;
        }
    }
    if (!haveIp) {
        error = "--ap: ip=ADDR (in 198.18.0.0/15) is required";
        return false;
    }
    return true;
}

} // namespace

const char* Options::Usage()
{
    return "usage: apsim [options]\n"
           "Simulates access points answering on UDP port 21212. Runs until SIGINT/SIGTERM.\n"
           "It serves only the lab range 198.18.0.0/15 and refuses to run in a namespace\n"
           "with IPv4 addresses outside it and 127.0.0.0/8; start it through scripts/lab.\n"
           "\n"
           "Access points:\n"
           "  --aps N              N access points: addresses from --base upward (skipping\n"
           "                       .0 and .255), MAC 02:00:00:xx:xx:xx (xx = number),\n"
           "                       SSID lab-<number>, channel 1..11 in turn\n"
           "  --base ADDR          first generated address (default 198.18.1.1)\n"
           "  --shared-ip ADDR     every generated access point at ADDR instead (as\n"
           "                       factory-fresh devices often are)\n"
           "  --first-number N     number of the first access point (default 1), so that\n"
           "                       simulators on several links have distinct MACs and SSIDs\n"
           "  --ap KEYS            one more access point; KEYS is key=value,... with keys\n"
           "                       ip (required), mac, ssid, channel, user, pass, mask, gw,\n"
           "                       dhcp=0|1 and the quirk names below without '--'\n"
           "  --user U, --pass P   default credentials (admin/admin)\n"
           "  --reboot-seconds S   silence after an accepted reboot (default 5, may be fractional)\n"
           "  --port P             device port (default 21212)\n"
           "\n"
           "Quirks (for every access point; an --ap key overrides):\n"
           "  --reply-delay-ms N   answer N ms late\n"
           "  --flood-macs N       follow each discovery reply with N copies under made-up MACs\n"
           "  --reply-type N       type code of query replies (default 1)\n"
           "  --answer-from ADDR   send replies from ADDR instead of the running IP address\n"
           "  --quote-ssid         SSID value in double quotes\n"
           "  --shuffle-entries    query reply entries in reverse order\n"
           "  --missing-entry NAME leave that entry out (repeatable)\n"
           "  --extra-entry N=V    append that entry to query replies (repeatable)\n"
           "  --malformed MODE     count-past-end | length-past-end | huge-entry |\n"
           "                       control-chars | zero-length-entries\n"
           "  --silent             answer nothing\n"
           "  --no-detail          ignore detail queries\n"
           "  --broadcast-replies  send replies to 255.255.255.255 instead of the asker\n"
           "  --zero-mac-result    results of settings changes and reboots carry a zero MAC\n"
           "  --never-return       after an accepted reboot answer nothing, for good\n"
           "  --apply-immediately  a changed address and mask are answered from at once,\n"
           "                       without a reboot (the result still comes from the old one)\n"
           "  --broadcast-only     hear only requests sent to 255.255.255.255, none sent to\n"
           "                       the access point's own address\n"
           "  --result-code N      answer every settings change with result N (0..255); only\n"
           "                       0 with the right credentials changes anything\n"
           "  --late-copy-ms N     send each result once more, N ms after the first\n"
           "  --back-at ADDR       come back from a reboot at ADDR (in 198.18.0.0/15), stored\n"
           "                       in place of the address it had stored\n"
           "  --back-netmask MASK  come back from a reboot with netmask MASK, stored in place\n"
           "                       of the one it had stored\n"
           "\n"
           "Other:\n"
           "  --verbose            one line per datagram received and sent\n"
           "  --command-log FILE   append a line per command an access point received:\n"
           "                       MAC set|reboot accepted|refused|ignored (ignored: it\n"
           "                       was restarting, gone or silent)\n"
           "  --datagram-log FILE  append a line per datagram received: the header's MAC,\n"
           "                       its type (query|command|stop|other), the address it was\n"
           "                       sent to and unicast|broadcast (broadcast: sent to\n"
           "                       255.255.255.255)\n"
           "  --print-addresses    print each access point's address and exit\n"
           "  --parent-pid PID     exit when process PID (the parent) ends\n";
}

bool Options::Parse(int argc, char** argv, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!arg.starts_with("--")) {
            error = "unexpected argument '" + std::string(arg) + "'";
            return false;
        }
        const std::string_view name = arg.substr(2);
        if (name == "help") {
            wantsHelp = true;
            return true;
        }
        if (name == "verbose") {
            agent.verbose = true;
            continue;
        }
        if (name == "print-addresses") {
            printAddresses = true;
            continue;
        }
        if (Quirks::IsFlag(name)) {
            if (!m_quirks.Apply(name, "", error))
                return false;
            continue;
        }
        if (i + 1 >= argc) {
            error = std::string(arg) + " needs a value";
            return false;
        }
        const std::string_view value = argv[++i];
        bool ok = true;
        if (name == "aps")
            ok = ParseNumber(value, m_nGenerated) && m_nGenerated >= 0 && m_nGenerated <= MaxGenerated;
        else if (name == "first-number")
            ok = ParseNumber(value, m_nFirstNumber) && m_nFirstNumber >= 1 && m_nFirstNumber <= MaxFirstNumber;
        else if (name == "base")
            ok = AddressValue(value, m_nBase);
        else if (name == "shared-ip")
            ok = AddressValue(value, m_sharedIp.emplace()); // a bad value fails the whole line
        else if (name == "command-log") {
            agent.commandLog = value;
            ok = !agent.commandLog.empty();
        } else if (name == "datagram-log") {
            agent.datagramLog = value;
            ok = !agent.datagramLog.empty();
        } else if (name == "ap")
            m_apDescriptions.emplace_back(value);
        else if (name == "user")
            m_strUser = value;
        else if (name == "pass")
            m_strPass = value;
        else if (name == "port")
            ok = ParseNumber(value, agent.port) && agent.port != 0;
        else if (name == "parent-pid")
            ok = ParseNumber(value, parentPid) && parentPid > 0;
        else if (name == "reboot-seconds") {
            char* end = nullptr;
            const std::string copy(value);
            const double seconds = std::strtod(copy.c_str(), &end);
            ok = end != copy.c_str() && *end == '\0' && seconds >= 0 && seconds < 86400;
            if (ok)
                agent.rebootTime = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
        } else if (Quirks::IsQuirk(name)) {
            if (!m_quirks.Apply(name, value, error))
                return false;
        } else {
            error = "unknown option " + std::string(arg);
            return false;
        }
        if (!ok) {
            error = "bad value '" + std::string(value) + "' for " + std::string(arg);
            return false;
        }
    }
    return true;
}

bool Options::BuildAccessPoints(std::vector<AccessPoint>& out, std::string& error) const
{
    out.clear();
    out.reserve(static_cast<std::size_t>(m_nGenerated) + m_apDescriptions.size());
    std::uint32_t address = m_nBase;
    if ((address & 0xFF) == 0 || (address & 0xFF) == 0xFF)
        address = NextHost(address);
    for (int n = 1; n <= m_nGenerated; ++n) {
        if (!m_sharedIp && !IsLabAddress(address)) {
            error = "--aps: the addresses run out of 198.18.0.0/15";
            return false;
        }
        ApSettings settings;
        settings.ip = m_sharedIp.value_or(address);
        const auto number = static_cast<std::uint32_t>(n + m_nFirstNumber - 1);
        settings.mac = {0x02, 0x00, 0x00, static_cast<std::uint8_t>(number >> 16),
                        static_cast<std::uint8_t>(number >> 8), static_cast<std::uint8_t>(number)};
        settings.ssid = "lab-" + std::to_string(number);
        settings.channel = static_cast<int>((number - 1) % 11 + 1);
        settings.user = m_strUser;
        settings.pass = m_strPass;
        out.emplace_back(settings, m_quirks);
        address = NextHost(address);
    }
    for (const std::string& keys : m_apDescriptions) {
        ApSettings settings;
        settings.user = m_strUser;
        settings.pass = m_strPass;
        Quirks quirks = m_quirks;
        if (!ParseApDescription(keys, settings, quirks, error))
            return false;
        const std::uint32_t number = static_cast<std::uint32_t>(out.size() + m_nFirstNumber);
        if (settings.mac == pemblor::MacBytes{})
            settings.mac = {0x02, 0x00, 0x01, static_cast<std::uint8_t>(number >> 16),
                            static_cast<std::uint8_t>(number >> 8), static_cast<std::uint8_t>(number)};
        if (settings.ssid.empty())
            settings.ssid = "lab-" + std::to_string(number);
        out.emplace_back(settings, quirks);
    }
    return true;
}

} // namespace apsim
