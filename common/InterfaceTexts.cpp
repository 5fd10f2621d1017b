#include "common/InterfaceTexts.h"

#include "common/EngineTexts.h"
#include "common/FillText.h"
#include "common/FormatError.h"

namespace pemblor {
namespace {

constexpr const char* MsgNoInterface =
    PEMBLOR_TR_NOOP("Pemblor", "No usable network interface: no IPv4 interface of this computer is up with "
                               "broadcast. Connect the network (cable, Wi-Fi) and press Discover again.");
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
    return FillText(lookup(MsgOutsideSubnet), {address, SubnetText(heardOn), heardOn.name});
}

std::string OpenAnywayQuestion(std::string_view address, const NetworkInterface& heardOn, TextLookup lookup)
{
    return FillText(lookup(MsgOpenAnyway), {OutsideSubnetReason(address, heardOn, lookup).value_or(std::string())});
}

} // namespace pemblor
