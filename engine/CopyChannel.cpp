#include "engine/CopyChannel.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <unistd.h>

namespace pemblor {

enum class CopyChannel::Kind : std::uint8_t { Hello = 1, Welcome, Bye, Passed, Commanding, Settled };

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

CopyChannel::Message CopyChannel::Passed(std::span<const std::uint8_t> reply, const PeerAddress& from) const
{
    Message message = Begin(Kind::Passed);
    message.reserve(PassedOverhead + reply.size());
    AppendAddress(message, from.text);
    Append(message, &from.interfaceIndex, sizeof from.interfaceIndex);
    Append(message, reply.data(), reply.size());
    return message;
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

std::optional<std::span<const std::uint8_t>> CopyChannel::Take(std::span<const std::uint8_t> message,
                                                               PeerAddress& from, std::int64_t nowMs, Send send,
                                                               FunctionRef<void()> remind)
{
    std::uint64_t copy = 0;
    std::memcpy(&copy, message.data() + 5, sizeof copy);
    if (copy == m_self)
        return std::nullopt;
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
        return std::nullopt;
    }
    case Kind::Bye: {
        std::lock_guard lock(m_mutex);
        m_others.erase(copy);
        Forget(copy);
        return std::nullopt;
    }
    case Kind::Passed:
        if (body.size() < kAddressSize + sizeof from.interfaceIndex)
            return std::nullopt;
        from = PeerAddress{};
        std::memcpy(from.text, body.data(), kAddressSize - 1);
        std::memcpy(&from.interfaceIndex, body.data() + kAddressSize, sizeof from.interfaceIndex);
        // Every copy has it now: it is not passed on again.
        from.toThisHost = false;
        return body.subspan(kAddressSize + sizeof from.interfaceIndex);
    case Kind::Commanding:
    case Kind::Settled: {
        if (body.size() < 6 + kAddressSize)
            return std::nullopt;
        Command command{copy, {}, ReadAddress(body.data() + 6), nowMs, kind == Kind::Settled};
        std::memcpy(command.mac.data(), body.data(), command.mac.size());
        std::erase_if(m_commands, [&](const Command& known) { return known.copy == copy && known.mac == command.mac; });
        m_commands.push_back(std::move(command));
        return std::nullopt;
    }
    }
    return std::nullopt;
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
