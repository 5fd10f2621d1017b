#pragma once
#include "protocol/Requests.h"
#include "common/Translatable.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pemblor {

inline constexpr std::string_view MsgIpEmpty = PEMBLOR_TR_NOOP("Pemblor", "IP Address cannot be empty!");
inline constexpr std::string_view MsgIpInvalid = PEMBLOR_TR_NOOP("Pemblor", "Invalid IP Address!");
inline constexpr std::string_view MsgNetmaskEmpty = PEMBLOR_TR_NOOP("Pemblor", "Netmask cannot be empty!");
inline constexpr std::string_view MsgNetmaskInvalid = PEMBLOR_TR_NOOP("Pemblor", "Invalid Netmask!");
inline constexpr std::string_view MsgGatewayInvalid = PEMBLOR_TR_NOOP("Pemblor", "Invalid Gateway Address!");
inline constexpr std::string_view MsgNoChange = PEMBLOR_TR_NOOP("Pemblor", "No change is made!");
inline constexpr std::string_view MsgUserNameTooLong =
    PEMBLOR_TR_NOOP("Pemblor", "User Name is too long: at most 30 bytes fit in the request, and a character "
                               "outside ASCII takes 2 to 4 bytes.");
inline constexpr std::string_view MsgPasswordTooLong =
    PEMBLOR_TR_NOOP("Pemblor", "Password is too long: at most 30 bytes fit in the request, and a character "
                               "outside ASCII takes 2 to 4 bytes.");
inline constexpr std::string_view MsgNoDeviceMac =
    PEMBLOR_TR_NOOP("Pemblor", "This device has no valid MAC address, so it cannot be addressed on its own. "
                               "Nothing was sent to it.");

// Longest user name or password, in bytes of its UTF-8 text, that the
// request carries whole (its 32-byte header field also keeps a NUL); the
// edits also refuse a character past this count.
inline constexpr std::size_t CredentialLimit = 30;

// What an address control holds: `blank` when all four fields are empty;
// `value` reads blank fields as 0.
struct AddressInput {
    bool blank = true;
    std::uint32_t value = 0;
};

struct SettingsInput {
    AddressInput ipAddress;
    AddressInput netmask;
    AddressInput gateway;
    // Changed flags 2 to 5.
    bool ipChanged = false;
    bool netmaskChanged = false;
    bool gatewayChanged = false;
    bool dhcpChanged = false;
    bool dhcpTicked = false;
    // As typed, UTF-8.
    std::string_view userName;
    std::string_view password;
};

enum class FocusField { None, IpAddress, Netmask, Gateway, UserName, Password };

struct ValidationOutcome {
    // Values accepted, as dotted texts and the DHCP flag. When validation
    // fails these are the ones accepted before the failure; the dialog stores
    // them all the same.
    std::optional<std::string> ipAddress;
    std::optional<std::string> subnetMask;
    std::optional<std::string> gateway;
    std::optional<int> dhcp;
    // The first failure; empty when the change is to be sent.
    std::string_view failure;
    FocusField focus = FocusField::None;

    bool Accepted() const { return failure.empty(); }
    // The accepted values as the request carries them; views into this
    // outcome, valid while it lives.
    SettingsChange Change() const { return {ipAddress, subnetMask, gateway, dhcp}; }
};

// Checks the flagged values in the order IP address, netmask, gateway, then
// the DHCP flag, then the length of the credentials; stops at the first
// failure.
ValidationOutcome ValidateSettings(const SettingsInput& input);

// Each octet one of 0, 128, 192, 224, 240, 248, 252, 254, 255 and none
// greater than an octet to its left.
bool IsAcceptedNetmask(std::uint32_t netmask);

} // namespace pemblor
