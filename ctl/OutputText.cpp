#include "ctl/OutputText.h"

namespace pemblor {

std::string Printable(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return out;
}

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
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

} // namespace pemblor
