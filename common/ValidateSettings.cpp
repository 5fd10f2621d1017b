#include "common/ValidateSettings.h"

#include "common/SettingText.h"

#include <algorithm>
#include <array>

namespace pemblor {

namespace {

// 233, not 223: the first octets 224 to 233 are let through on purpose.
bool IsAcceptedFirstOctet(std::uint32_t address)
{
    const std::uint32_t first = address >> 24;
    return first >= 1 && first <= 233;
}

} // namespace

bool IsAcceptedNetmask(std::uint32_t netmask)
{
    constexpr std::array<std::uint32_t, 9> accepted{0, 128, 192, 224, 240, 248, 252, 254, 255};
    std::uint32_t bound = 255;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const std::uint32_t octet = (netmask >> shift) & 0xFFu;
        if (std::find(accepted.begin(), accepted.end(), octet) == accepted.end() || octet > bound)
            return false;
        bound = std::min(bound, octet);
    }
    return true;
}

ValidationOutcome ValidateSettings(const SettingsInput& input)
{
    ValidationOutcome outcome;
    auto fail = [&outcome](std::string_view message, FocusField focus) {
        outcome.failure = message;
        outcome.focus = focus;
        return outcome;
    };
    bool anyChange = false;
    // A flagged address, refused when it is blank (where `empty` names that
    // failure) or not `accepted`; false once it has failed.
    auto take = [&](const AddressInput& address, bool accepted, std::string_view empty, std::string_view invalid,
                    FocusField focus, std::optional<std::string>& value) {
        const std::string_view failure = address.blank && !empty.empty() ? empty : accepted ? "" : invalid;
        if (!failure.empty()) {
            fail(failure, focus);
            return false;
        }
        value = AddressToText(address.value);
        return anyChange = true;
    };

    if (input.ipChanged && !take(input.ipAddress, IsAcceptedFirstOctet(input.ipAddress.value), MsgIpEmpty,
                                 MsgIpInvalid, FocusField::IpAddress, outcome.ipAddress))
        return outcome;
    if (input.netmaskChanged && !take(input.netmask, IsAcceptedNetmask(input.netmask.value), MsgNetmaskEmpty,
                                      MsgNetmaskInvalid, FocusField::Netmask, outcome.subnetMask))
        return outcome;
    // A blank gateway reads as 0 and is sent as 0.0.0.0.
    const std::uint32_t gateway = input.gateway.value;
    if (input.gatewayChanged && !take(input.gateway, gateway == 0 || IsAcceptedFirstOctet(gateway), {},
                                      MsgGatewayInvalid, FocusField::Gateway, outcome.gateway))
        return outcome;
    if (input.dhcpChanged)
        outcome.dhcp = input.dhcpTicked ? 1 : 0;
    else if (!anyChange)
        return fail(MsgNoChange, FocusField::None);
    // A longer text would reach the device cut, perhaps inside a character.
    if (input.userName.size() > CredentialLimit)
        return fail(MsgUserNameTooLong, FocusField::UserName);
    if (input.password.size() > CredentialLimit)
        return fail(MsgPasswordTooLong, FocusField::Password);
    return outcome;
}

} // namespace pemblor
