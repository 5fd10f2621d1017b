#include "common/InterfaceTexts.h"

#include "common/EngineTexts.h"
#include "common/FillText.h"
#include "common/FormatError.h"

namespace pemblor {
namespace {

constexpr const char* MsgNoInterface =
    PEMBLOR_TR_NOOP("Pemblor", "No usable network interface: no interface of this computer is up with a link and "
                               "broadcast. Connect the network (cable, Wi-Fi) and press Discover again.");
constexpr const char* MsgNoLink =
    PEMBLOR_TR_NOOP("Pemblor", "%1 has no link: its cable is out, or its Wi-Fi is not connected.");
constexpr const char* MsgReversePathSilence =
    PEMBLOR_TR_NOOP("Pemblor", "The answers were probably dropped by this computer. %1");
constexpr const char* MsgReversePath =
    PEMBLOR_TR_NOOP("Pemblor", "The kernel's reverse-path filter dropped %1 packets while Pemblor listened; "
                               "filtering is on for %2. It drops packets from senders that it would not route back "
                               "out of the interface they came in on, such as a device outside every network of "
                               "that interface, and with any filtering, every sender on an interface without an "
                               "address.");
constexpr const char* MsgReversePathStrict =
    PEMBLOR_TR_NOOP("Pemblor", "On %1 (strict filtering): loose filtering lets the answers in while a route back "
                               "exists through some interface: sudo sysctl -w net.ipv4.conf.%1.rp_filter=2");
constexpr const char* MsgReversePathNoAddress =
    PEMBLOR_TR_NOOP("Pemblor", "On %1 (no address): give it an address (a link-local one will do: sudo ip addr add "
                               "169.254.10.1/16 dev %1), or turn filtering off for it: sudo sysctl -w "
                               "net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.%1.rp_filter=0");
constexpr const char* MsgReversePathAnyway =
    PEMBLOR_TR_NOOP("Pemblor", "In either case, an address in the devices' network on that interface lets them in, "
                               "e.g. sudo ip addr add 192.168.1.100/24 dev %1.");
constexpr const char* MsgNoAddressOn =
    PEMBLOR_TR_NOOP("Pemblor", "This computer has no address on %1, where the device at %2 answered, so it reaches "
                               "the device only by broadcast and its page will probably not open. Give %1 an address "
                               "in the device's network, e.g. sudo ip addr add 192.168.1.100/24 dev %1.");
constexpr const char* MsgInboundBlocked =
    PEMBLOR_TR_NOOP("Pemblor", "Inbound UDP 21212 is blocked on this computer: the query was sent on %1, but not "
                               "even its own copy came back there, so the answers of the access points cannot come "
                               "in either. The likely cause is the host firewall. Let inbound UDP 21212 in, e.g. "
                               "sudo ufw allow 21212/udp, or nft add rule inet filter input udp dport 21212 accept.");
constexpr const char* MsgNobodyAnswered =
    PEMBLOR_TR_NOOP("Pemblor", "Nobody answered: the query was sent and heard on %1, but no access point's agent "
                               "answered. Check that the access points are on %2 and that their agent runs.");
constexpr const char* MsgSomeSegment = PEMBLOR_TR_NOOP("Pemblor", "one of these network segments");
constexpr const char* MsgOutsideSubnet =
    PEMBLOR_TR_NOOP("Pemblor", "This device's address %1 is outside this computer's network %2 on %3, so its page "
                               "will probably not open. Use Setup IP to move it into that network.");
constexpr const char* MsgOpenAnyway = PEMBLOR_TR_NOOP("Pemblor", "%1 Open anyway?");
// The last two names of a list ("eth0, eth1 and wg0").
constexpr const char* MsgTwoNames = PEMBLOR_TR_NOOP("Pemblor", "%1 and %2");

// "eth0", "eth0 and eth1", "eth0, eth1 and wg0".
std::string JoinNames(const std::vector<std::string>& names, TextLookup lookup)
{
    std::string joined;
    for (std::size_t i = 0; i + 1 < names.size(); ++i)
        joined += i == 0 ? names[i] : ", " + names[i];
    if (names.size() < 2)
        return names.empty() ? joined : names.front();
    return FillText(lookup(MsgTwoNames), {joined, names.back()});
}

} // namespace

std::string FindNoDevicesText(const SilenceDiagnosis& diagnosis, TextLookup lookup)
{
    std::string text = lookup(MsgNoDevices);
    const auto& names = diagnosis.interfaces;
    switch (diagnosis.cause) {
    case SilenceCause::Unknown:
        break;
    case SilenceCause::NoInterface:
        text += "\n\n" + lookup(MsgNoInterface);
        for (const std::string& name : names)
            text += ' ' + FillText(lookup(MsgNoLink), {name});
        break;
    case SilenceCause::ReversePathDropped:
        if (diagnosis.reversePath)
            text += "\n\n" + FillText(lookup(MsgReversePathSilence), {ReversePathText(*diagnosis.reversePath, lookup)});
        break;
    case SilenceCause::InboundBlocked:
        text += "\n\n" + FillText(lookup(MsgInboundBlocked), {JoinNames(names, lookup)});
        break;
    case SilenceCause::NobodyAnswered:
        text += "\n\n" + FillText(lookup(MsgNobodyAnswered),
                                {JoinNames(names, lookup), lookup(names.size() == 1 ? MsgOneSegment : MsgSomeSegment)});
        break;
    }
    return text;
}

std::string ReversePathText(const ReversePathNote& note, TextLookup lookup)
{
    std::vector<std::string> names;
    std::string ways;
    for (const ReversePathNote::Filtered& filtered : note.interfaces) {
        names.push_back(filtered.name);
        if (!filtered.hasAddress)
            ways += ' ' + FillText(lookup(MsgReversePathNoAddress), {filtered.name});
        else if (filtered.mode == 1)
            ways += ' ' + FillText(lookup(MsgReversePathStrict), {filtered.name});
    }
    std::string text = FillText(lookup(MsgReversePath), {std::to_string(note.packets), JoinNames(names, lookup)});
    if (!names.empty())
        text += ways + ' ' + FillText(lookup(MsgReversePathAnyway), {names.front()});
    return text;
}

std::string SendFailureText(std::string_view format, int error, std::string_view interfaceName)
{
    std::string text = FormatError(format, error);
    if (interfaceName.empty())
        return text;
    const std::string named = " (" + std::string(interfaceName) + ")";
    const std::size_t end = text.find_last_not_of('\n');
    text.insert(end == std::string::npos ? 0 : end + 1, named);
    return text;
}

std::optional<std::string> OutsideSubnetReason(std::string_view address, const NetworkInterface& heardOn,
                                               TextLookup lookup)
{
    std::uint32_t value = 0;
    if (!ParseIpv4(std::string(address).c_str(), value) || heardOn.Contains(value))
        return std::nullopt;
    if (!heardOn.HasAddress() && heardOn.secondary.empty())
        return FillText(lookup(MsgNoAddressOn), {heardOn.name, address});
    return FillText(lookup(MsgOutsideSubnet), {address, SubnetText(heardOn), heardOn.name});
}

std::string OpenAnywayQuestion(std::string_view address, const NetworkInterface& heardOn, TextLookup lookup)
{
    return FillText(lookup(MsgOpenAnyway), {OutsideSubnetReason(address, heardOn, lookup).value_or(std::string())});
}

} // namespace pemblor
