#include "fleet/SettingsCheck.h"

#include "engine/NetworkInterface.h"

#include <bit>

namespace pemblor {

std::optional<AddressInput> ReadAddressArgument(std::string_view text, const FieldRanges& ranges)
{
    AddressInput input;
    if (text.empty())
        return input;
    input.blank = false;
    // Dotted decimal with up to three digits a field; a NUL ends no text.
    if (text.find('\0') != std::string_view::npos || !ParseIpv4(std::string(text).c_str(), input.value))
        return std::nullopt;
    for (int field = 0; field < 4; ++field) {
        const unsigned value = (input.value >> (24 - 8 * field)) & 0xFFu;
        if (value < ranges.low[field] || value > ranges.high[field])
            return std::nullopt;
    }
    return input;
}

ValidationOutcome CheckSettingTexts(const std::optional<std::string>& ip, const std::optional<std::string>& netmask,
                                    const std::optional<std::string>& gateway, std::optional<bool> dhcp)
{
    SettingsInput input;
    struct Field {
        const std::optional<std::string>& argument;
        const FieldRanges& ranges;
        AddressInput& target;
        bool& changed;
        std::string_view invalid;
    };
    const Field fields[] = {
        {ip, IpAddressFields, input.ipAddress, input.ipChanged, MsgIpInvalid},
        {netmask, NetmaskFields, input.netmask, input.netmaskChanged, MsgNetmaskInvalid},
        {gateway, GatewayFields, input.gateway, input.gatewayChanged, MsgGatewayInvalid},
    };
    for (const Field& field : fields) {
        if (!field.argument)
            continue;
        const auto address = ReadAddressArgument(*field.argument, field.ranges);
        if (!address) {
            // The dialog checks in this same order, so an earlier field's
            // failure has already been reported.
            ValidationOutcome failed = ValidateSettings(input);
            if (failed.Accepted() || failed.failure == MsgNoChange) {
                failed = {};
                failed.failure = field.invalid;
            }
            return failed;
        }
        field.target = *address;
        field.changed = true;
    }
    input.dhcpChanged = dhcp.has_value();
    input.dhcpTicked = dhcp.value_or(false);
    return ValidateSettings(input);
}

bool IsPlannableNetmask(std::uint32_t netmask)
{
    const int prefix = std::popcount(netmask);
    return prefix >= 8 && prefix <= 30 && netmask == ~std::uint32_t{0} << (32 - prefix);
}

} // namespace pemblor
