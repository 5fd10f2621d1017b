#pragma once
#include "common/ValidateSettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pemblor {

// One address control's field ranges, field 1 (leftmost) first.
struct FieldRanges {
    std::uint8_t low[4];
    std::uint8_t high[4];
};
inline constexpr FieldRanges IpAddressFields{{1, 0, 0, 0}, {223, 255, 255, 254}};
inline constexpr FieldRanges NetmaskFields{{0, 0, 0, 0}, {255, 255, 255, 254}};
inline constexpr FieldRanges GatewayFields{{0, 0, 0, 0}, {223, 255, 255, 254}};

// Reads an address text as the dialog's address control would hold it: an
// empty text is a blank control; otherwise four decimal fields joined by
// '.', each within its field's range. Nothing when the control could not
// hold the text.
std::optional<AddressInput> ReadAddressArgument(std::string_view text, const FieldRanges& ranges);

// Whether a plan may give devices this netmask: a contiguous prefix from /8
// to /30 (narrower leaves no room for a device beside the network and
// broadcast addresses, wider is no LAN).
bool IsPlannableNetmask(std::uint32_t netmask);

// Checks a change given as texts (nullopt: the field is left as it is) with
// the dialog's validation, so that the failures carry the dialog's messages
// in its order. An address the control could not hold fails with that
// control's "Invalid ..." message.
ValidationOutcome CheckSettingTexts(const std::optional<std::string>& ip, const std::optional<std::string>& netmask,
                                    const std::optional<std::string>& gateway, std::optional<bool> dhcp);

} // namespace pemblor
