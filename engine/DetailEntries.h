#pragma once
#include "protocol/EntryText.h"
#include "protocol/ReplyDatagram.h"

namespace pemblor {

// Hands every whole entry of a detail reply to `store(name, value)` in
// datagram order, split by SplitEntryText in `work`. The views live until the
// next entry is split.
template <typename Store>
void ForEachSetting(const ReplyDatagram& reply, EntryTextBuffer& work, Store&& store)
{
    for (const auto& item : reply.entries()) {
        const EntryText text = SplitEntryText(item.entry.text.data(), item.entry.length, work);
        store(text.name, text.value);
    }
}

} // namespace pemblor
