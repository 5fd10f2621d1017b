#include "engine/CopyChannel.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <unistd.h>

namespace pemblor {

// PassedOne: one reply without its length, as earlier versions pass it on.
enum class CopyChannel::Kind : std::uint8_t { Hello = 1, Welcome, Bye, PassedOne, Commanding, Settled, Passed };

namespace {

constexpr std::uint8_t kSignature[4] = {'P', 'M', 'B', 'C'};
constexpr std::size_t kHeaderSize = 4 + 1 + 8;
constexpr std::size_t kAddressSize = 16;
constexpr std::size_t kProgramMax = 47;

std::uint64_t DrawNumber()
{
    std::random_device entropy;
    return (std::uint64_t{entropy()} << 32) ^ entropy();
}

void Append(CopyChannel::Message& message, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    message.insert(message.end(), bytes, bytes + size);
}

void AppendAddress(CopyChannel::Message& message, std::string_view address)
{
    char field[kAddressSize] = {};
    std::memcpy(field, address.data(), std::min(address.size(), kAddressSize - 1));
    Append(message, field, sizeof field);
}

std::string ReadAddress(const std::uint8_t* field)
{
    const char* text = reinterpret_cast<const char*>(field);
    return std::string(text, strnlen(text, kAddressSize - 1));
}

// A passed-on reply's sender: its address and arrival interface. Every copy
// has the reply now, so it is not passed on again.
constexpr std::size_t kSenderSize = kAddressSize + sizeof(unsigned);

static_assert(CopyChannel::PassedEntryOverhead == kSenderSize + sizeof(std::uint16_t));
// Any reply fits its length field, and in a message of its own.
static_assert(ReceiveBufferSize <= UINT16_MAX);
static_assert(kHeaderSize + CopyChannel::PassedEntryOverhead + ReceiveBufferSize <= CopyChannel::MessageMax);

PeerAddress ReadSender(const std::uint8_t* field)
{
    PeerAddress from;
    std::memcpy(from.text, field, kAddressSize - 1);
    std::memcpy(&from.interfaceIndex, field + kAddressSize, sizeof from.interfaceIndex);
    from.toThisHost = false;
    return from;
}

std::size_t ReadLength(const std::uint8_t* field)
{
    std::uint16_t length = 0;
    std::memcpy(&length, field, sizeof length);
    return length;
}

} // namespace

CopyChannel::CopyChannel(std::string_view program)
    : m_self(DrawNumber())
    , m_program((std::string(program) + " (process " + std::to_string(::getpid()) + ")").substr(0, kProgramMax))
{
}

bool CopyChannel::IsMessage(std::span<const std::uint8_t> datagram)
{
    return datagram.size() >= kHeaderSize && std::memcmp(datagram.data(), kSignature, sizeof kSignature) == 0;
}

bool CopyChannel::OthersListen() const
{
    std::lock_guard lock(m_mutex);
    return !m_others.empty();
}

CopyChannel::Message CopyChannel::Begin(Kind kind) const
{
    Message message(kSignature, kSignature + sizeof kSignature);
    message.push_back(static_cast<std::uint8_t>(kind));
    Append(message, &m_self, sizeof m_self);
    return message;
}

CopyChannel::Message CopyChannel::Hello() const
{
    Message message = Begin(Kind::Hello);
    Append(message, m_program.data(), m_program.size());
    return message;
}

CopyChannel::Message CopyChannel::Bye() const
{
    return Begin(Kind::Bye);
}

bool CopyChannel::Pass(Message& batch, std::span<const std::uint8_t> reply, const PeerAddress& from) const
{
    if (batch.empty()) {
        batch = Begin(Kind::Passed);
        batch.reserve(MessageMax);
    } else if (batch.size() + PassedEntryOverhead + reply.size() > MessageMax) {
        return false;
    }
    const auto length = static_cast<std::uint16_t>(reply.size());
    AppendAddress(batch, from.text);
    Append(batch, &from.interfaceIndex, sizeof from.interfaceIndex);
    Append(batch, &length, sizeof length);
    Append(batch, reply.data(), reply.size());
    return true;
}

CopyChannel::Message CopyChannel::Commanding(const MacBytes& mac, std::string_view address) const
{
    Message message = Begin(Kind::Commanding);
    Append(message, mac.data(), mac.size());
    AppendAddress(message, address);
    return message;
}

CopyChannel::Message CopyChannel::Settled(const MacBytes& mac, std::string_view address) const
{
    Message message = Commanding(mac, address);
    message[sizeof kSignature] = static_cast<std::uint8_t>(Kind::Settled);
    return message;
}

void CopyChannel::Forget(std::uint64_t copy)
{
    std::erase_if(m_commands, [&](const Command& command) { return command.copy == copy; });
}

void CopyChannel::Take(std::span<const std::uint8_t> message, std::int64_t nowMs, Send send,
                       FunctionRef<void()> remind, Deliver deliver)
{
    std::uint64_t copy = 0;
    std::memcpy(&copy, message.data() + 5, sizeof copy);
    if (copy == m_self)
        return;
    const auto kind = static_cast<Kind>(message[4]);
    const std::span<const std::uint8_t> body = message.subspan(kHeaderSize);
    switch (kind) {
    case Kind::Hello:
    case Kind::Welcome: {
        const std::string program(body.begin(), body.begin() + std::min(body.size(), kProgramMax));
        {
            std::lock_guard lock(m_mutex);
            m_others[copy] = program;
        }
        if (kind == Kind::Hello) {
            Message welcome = Hello();
            welcome[sizeof kSignature] = static_cast<std::uint8_t>(Kind::Welcome);
            send(welcome);
            remind();
        }
        return;
    }
    case Kind::Bye: {
        std::lock_guard lock(m_mutex);
        m_others.erase(copy);
        Forget(copy);
        return;
    }
    case Kind::PassedOne:
        if (body.size() >= kSenderSize && body.size() - kSenderSize <= ReceiveBufferSize)
            deliver(body.subspan(kSenderSize), ReadSender(body.data()));
        return;
    case Kind::Passed: {
        // Every entry is checked before the first is delivered.
        std::size_t at = 0;
        while (at < body.size()) {
            if (body.size() - at < PassedEntryOverhead)
                return;
            const std::size_t length = ReadLength(body.data() + at + kSenderSize);
            if (length > ReceiveBufferSize || body.size() - at - PassedEntryOverhead < length)
                return;
            at += PassedEntryOverhead + length;
        }
        for (at = 0; at < body.size();) {
            const std::size_t length = ReadLength(body.data() + at + kSenderSize);
            if (!deliver(body.subspan(at + PassedEntryOverhead, length), ReadSender(body.data() + at)))
                return;
            at += PassedEntryOverhead + length;
        }
        return;
    }
    case Kind::Commanding:
    case Kind::Settled: {
        if (body.size() < 6 + kAddressSize)
            return;
        Command command{copy, {}, ReadAddress(body.data() + 6), nowMs, kind == Kind::Settled};
        std::memcpy(command.mac.data(), body.data(), command.mac.size());
        std::erase_if(m_commands, [&](const Command& known) { return known.copy == copy && known.mac == command.mac; });
        m_commands.push_back(std::move(command));
        return;
    }
    }
}

std::optional<std::string> CopyChannel::Contender(const MacBytes& mac, const MacBytes& awaitedMac,
                                                  std::string_view sender, std::int64_t nowMs)
{
    std::erase_if(m_commands, [&](const Command& command) {
        return nowMs - command.sinceMs > (command.settled ? SettledGraceMs : UnsettledBoundMs);
    });
    const bool zeroMac = mac == MacBytes{};
    const auto contested = std::find_if(m_commands.begin(), m_commands.end(), [&](const Command& command) {
        return command.mac == awaitedMac || (zeroMac && !command.address.empty() && command.address == sender);
    });
    if (contested == m_commands.end())
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    const auto known = m_others.find(contested->copy);
    return known != m_others.end() && !known->second.empty() ? known->second : std::string("another copy of Pemblor");
}

} // namespace pemblor
