// Treats the input as one received datagram and runs every decoding step the
// receive thread runs on it.
#include "protocol/EntryText.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static_assert(pemblor::ReceiveBufferSize == 2048);
    std::array<std::uint8_t, pemblor::ReceiveBufferSize> buffer{};
    const std::size_t received = std::min(size, buffer.size());
    if (received > 0)
        std::memcpy(buffer.data(), data, received);

    const pemblor::ReplyDatagram reply(buffer.data(), received, "198.18.0.2");
    volatile std::uint32_t sink = reply.type() + reply.entryCount() + static_cast<std::uint32_t>(reply.resultCode());
    const pemblor::MacText mac = pemblor::FormatMacText(reply.macAddress());
    sink = sink + static_cast<std::uint32_t>(mac.view().size());

    pemblor::EntryTextBuffer work;
    int walked = 0;
    for (const auto& [index, entry] : reply.entries()) {
        if (index != walked++ || entry.text.size() != entry.length)
            __builtin_trap();
        const char* const end = reinterpret_cast<const char*>(buffer.data()) + received;
        if (entry.text.data() < reinterpret_cast<const char*>(buffer.data()) + pemblor::HeaderSize ||
            entry.text.data() + entry.text.size() > end)
            __builtin_trap();
        const pemblor::EntryText split = pemblor::SplitEntryText(entry.text.data(), entry.length, work);
        const char* const workEnd = work.data() + work.size();
        if (split.name.data() + split.name.size() > workEnd || split.value.data() + split.value.size() > workEnd ||
            split.name.find('=') != std::string_view::npos || split.value.find('=') != std::string_view::npos)
            __builtin_trap();
        sink = sink + static_cast<std::uint32_t>(split.name.size() + split.value.size());
    }
    if (walked > reply.entryCount() || walked != reply.wholeEntryCount())
        __builtin_trap();
    (void)sink;
    return 0;
}
