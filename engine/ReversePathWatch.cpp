#include "engine/ReversePathWatch.h"

namespace pemblor {

void ReversePathWatch::Begin(IReversePathFilter* filter)
{
    m_filter = filter;
    m_before = filter ? filter->Drops() : std::nullopt;
}

std::optional<ReversePathNote> ReversePathWatch::End(const std::vector<NetworkInterface>& interfaces)
{
    const std::optional<std::uint64_t> after = m_before ? m_filter->Drops() : std::nullopt;
    if (!after || *after <= *m_before)
        return std::nullopt;
    ReversePathNote note;
    note.packets = *after - *m_before;
    for (const NetworkInterface& usable : interfaces) {
        if (const int mode = m_filter->Mode(usable.name); mode != 0)
            note.interfaces.push_back({usable.name, mode, usable.HasAddress()});
    }
    m_before = after;
    return note;
}

} // namespace pemblor
