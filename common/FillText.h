#pragma once
#include <initializer_list>
#include <string>
#include <string_view>

namespace pemblor {

// `format` with "%1", "%2", ... replaced by the arguments in that order of
// numbers; what an argument brings in is not read again. The marked texts
// take their pieces so, translated or not.
inline std::string FillText(std::string_view format, std::initializer_list<std::string_view> args)
{
    std::string text;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char next = i + 1 < format.size() ? format[i + 1] : '\0';
        const std::size_t number = next >= '1' && next <= '9' ? static_cast<std::size_t>(next - '1') : args.size();
        if (format[i] == '%' && number < args.size()) {
            text += args.begin()[number];
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}

} // namespace pemblor
