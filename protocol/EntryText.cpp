#include "protocol/EntryText.h"

#include <algorithm>
#include <cstring>

namespace pemblor {

EntryText SplitEntryText(const char* text, std::size_t length, EntryTextBuffer& work)
{
    const std::size_t copied = text != nullptr ? std::min(length, EntryTextBufferSize) : 0;
    if (copied > 0)
        std::memcpy(work.data(), text, copied);
    // Either way a NUL now lies at or before index `copied`.
    if (copied >= 2 && work[copied - 2] == '"')
        work[copied - 2] = '\0';
    else
        work[copied] = '\0';

    const char* p = work.data();
    while (*p == '=')
        ++p;
    const char* const nameBegin = p;
    while (*p != '\0' && *p != '=')
        ++p;
    const char* const nameEnd = p;
    while (*p == '=')
        ++p;
    const char* valueBegin = p;
    while (*p != '\0' && *p != '=')
        ++p;
    const char* const valueEnd = p;
    if (valueBegin != valueEnd && *valueBegin == '"')
        ++valueBegin;

    return {std::string_view(nameBegin, static_cast<std::size_t>(nameEnd - nameBegin)),
            std::string_view(valueBegin, static_cast<std::size_t>(valueEnd - valueBegin))};
}

} // namespace pemblor
