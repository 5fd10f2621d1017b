#pragma once
#include "format/SafeText.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace pemblor {

// The texts the writers print: device texts are bytes from the network, so
// none reaches a terminal (SafeText: control characters shown as '?', invalid
// UTF-8 replaced) or a JSON line unguarded.

// The value, or `absent` when there is none.
std::string_view Text(const std::optional<std::string>& value, std::string_view absent = {});

// The value as a JSON string, or null when there is none.
nlohmann::ordered_json JsonValue(const std::optional<std::string>& value);

// One JSON line. Invalid UTF-8 sequences become U+FFFD instead of failing
// the line; control characters, C1 ones included, are escaped.
std::string JsonLine(const nlohmann::ordered_json& object);

} // namespace pemblor
