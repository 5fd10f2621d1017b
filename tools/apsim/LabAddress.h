#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace apsim {

// IPv4 addresses in host order. The simulator serves only the lab range
// 198.18.0.0/15: it refuses configured addresses outside it and ignores
// requests from senders outside it.
inline constexpr std::uint32_t LabNetwork = 0xC6120000u; // 198.18.0.0
inline constexpr std::uint32_t LabMask = 0xFFFE0000u;    // /15

std::optional<std::uint32_t> ParseAddress(std::string_view text);
std::string FormatAddress(std::uint32_t address);
inline bool IsLabAddress(std::uint32_t address) { return (address & LabMask) == LabNetwork; }

// False, with the offending interface and address in `error`, when the
// network namespace holds an IPv4 address outside the lab range and
// 127.0.0.0/8: the simulator then is not inside a lab namespace.
bool CheckLabNamespace(std::string& error);

} // namespace apsim
