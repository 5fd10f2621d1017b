#include "ui/devicelist/InterfaceTexts.h"

#include "ui/FormatError.h"

namespace pemblor {
namespace {

// "eth0", "eth0 and eth1", "eth0, eth1 and wg0".
std::string JoinNames(const std::vector<std::string>& names)
{
    std::string joined;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            joined += i + 1 == names.size() ? " and " : ", ";
        joined += names[i];
    }
    return joined;
}

std::string Plural(const std::vector<std::string>& names, const char* one, const char* many)
{
    return names.size() == 1 ? one : many;
}

bool Outside(std::string_view address, const NetworkInterface& heardOn)
{
    std::uint32_t value = 0;
    return ParseIpv4(std::string(address).c_str(), value) && !heardOn.Contains(value);
}

} // namespace

std::string FindNoDevicesText(const SilenceDiagnosis& diagnosis)
{
    std::string text = "Find no devices!";
    const auto& names = diagnosis.interfaces;
    switch (diagnosis.cause) {
    case SilenceCause::Unknown:
        break;
    case SilenceCause::NoInterface:
        text += "\n\nNo usable network interface: no IPv4 interface of this computer is up with "
                "broadcast. Connect the network (cable, Wi-Fi) and press Discover again.";
        break;
    case SilenceCause::InboundBlocked:
        text += "\n\nInbound UDP 21212 is blocked on this computer: the query was sent on " + JoinNames(names) +
                ", but not even its own copy came back there, so the answers of the access points cannot "
                "come in either. The likely cause is the host firewall. Let inbound UDP 21212 in, e.g. "
                "sudo ufw allow 21212/udp, or nft add rule inet filter input udp dport 21212 accept.";
        break;
    case SilenceCause::NobodyAnswered:
        text += "\n\nNobody answered: the query was sent and heard on " + JoinNames(names) +
                ", but no access point's agent answered. Check that the access points are on " +
                Plural(names, "this network segment", "one of these network segments") +
                " and that their agent runs.";
        break;
    }
    return text;
}

std::string SendFailureText(std::string_view format, int error, std::string_view interfaceName)
{
    std::string text = FormatError(format, error);
    const std::string named = " (" + std::string(interfaceName) + ")";
    const std::size_t end = text.find_last_not_of('\n');
    text.insert(end == std::string::npos ? 0 : end + 1, named);
    return text;
}

std::optional<std::string> OutsideSubnetReason(std::string_view address, const NetworkInterface& heardOn)
{
    if (!Outside(address, heardOn))
        return std::nullopt;
    return "This device's address " + std::string(address) + " is outside this computer's network " +
           SubnetText(heardOn) + " on " + heardOn.name +
           ", so its page will probably not open. Use Setup IP to move it into that network.";
}

std::string OpenAnywayQuestion(std::string_view address, const NetworkInterface& heardOn)
{
    return OutsideSubnetReason(address, heardOn).value_or(std::string()) + " Open anyway?";
}

} // namespace pemblor
