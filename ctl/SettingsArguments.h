#pragma once
#include "ctl/CtlOptions.h"
#include "common/ValidateSettings.h"

#include <optional>
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

// Reads an address argument as the dialog's address control would hold it:
// an empty text is a blank control; otherwise four decimal fields joined by
// '.', each within its field's range. Nothing when the control could not
// hold the text.
std::optional<AddressInput> ReadAddressArgument(std::string_view text, const FieldRanges& ranges);

// Checks the requested change with the dialog's validation, so that the
// failures carry the dialog's messages in its order. An address the control
// could not hold fails with that control's "Invalid ..." message.
ValidationOutcome CheckSettings(const CtlOptions& options);

} // namespace pemblor
