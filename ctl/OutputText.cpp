#include "ctl/OutputText.h"

namespace pemblor {

std::string_view Text(const std::optional<std::string>& value, std::string_view absent)
{
    return value ? std::string_view(*value) : absent;
}

nlohmann::ordered_json JsonValue(const std::optional<std::string>& value)
{
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

std::string JsonLine(const nlohmann::ordered_json& object)
{
    const std::string dumped = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    // The dump escapes the C0 controls; the C1 controls (U+0080 to U+009F,
    // the bytes C2 80 to C2 9F in valid UTF-8, where C2 is always a lead
    // byte) are escaped too, so that no terminal acts on them.
    std::string line;
    line.reserve(dumped.size() + 1);
    for (std::size_t i = 0; i < dumped.size(); ++i) {
        const auto next = i + 1 < dumped.size() ? static_cast<unsigned char>(dumped[i + 1]) : 0u;
        if (static_cast<unsigned char>(dumped[i]) == 0xC2 && next >= 0x80 && next <= 0x9F) {
            static constexpr char kHex[] = "0123456789abcdef";
            line += "\\u00";
            line += kHex[next >> 4];
            line += kHex[next & 0xF];
            ++i;
            continue;
        }
        line += dumped[i];
    }
    line += '\n';
    return line;
}

} // namespace pemblor
