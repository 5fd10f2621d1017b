#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace pemblor {

// Conversions between setting texts and what the controls hold. Addresses
// are 32-bit values in host order, first octet in the most significant byte.

// inet_addr followed by network-to-host order: every form inet_addr accepts
// (a, a.b, a.b.c, a.b.c.d; decimal, octal or hex parts) converts as it does,
// and a text it rejects gives its failure value, 255.255.255.255.
std::uint32_t AddressFromText(std::string_view text);

// Dotted decimal without leading zeros, as inet_ntoa writes it.
std::string AddressToText(std::uint32_t address);

// The leading decimal integer, as atoi reads it: leading white space skipped,
// an optional sign, digits up to the first non-digit; no digits gives 0.
// Values beyond the int range saturate.
int LeadingInteger(std::string_view text);

} // namespace pemblor
