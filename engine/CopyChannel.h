#pragma once
#include "engine/FunctionRef.h"
#include "engine/ISocket.h"
#include "protocol/PacketHeader.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pemblor {

// What the copies of the tool on one computer (the window, pemblorctl, the
// Ansible modules that run it, of any user) tell each other.
//
// They share the device port: the system hands every broadcast to each of
// them, but a datagram addressed to this computer to one alone (the socket
// bound last). So the copy that receives a reply addressed to one of this
// computer's own addresses passes it on, with its sender and the interface
// it came in on, and every other copy takes it as if it had heard it itself.
// A passed-on reply is never passed on again.
//
// A command's result carries no request number, so a copy cannot tell its
// own from another copy's. Each copy announces the commands it awaits a
// result of (and when it no longer does); a result of a device that another
// copy commands at the same time, or that came from the address another copy
// commands, is contested: the copy takes it as nobody's result.
//
// The channel is a broadcast on the loopback, to 127.255.255.255 at the
// device port out of the loopback interface: every socket bound to the port
// on this computer hears it, and it never leaves the computer. A copy sends
// nothing on it until it knows another copy: each says Hello when it starts
// listening and Bye when it closes, and each copy that hears a Hello answers
// Welcome. Messages start with a signature no device datagram starts with:
//
//   4 bytes  "PMBC"
//   1 byte   kind
//   8 bytes  the sending copy's number, drawn at random when it starts
//   Hello, Welcome: its program and process, as text (at most 47 bytes)
//   Passed:         one or more replies, each as 16 bytes the sender's
//                   dotted address (NUL-padded), 4 bytes the arrival
//                   interface, 2 bytes the reply's length, then the reply as
//                   received; at most MessageMax bytes in all
//   Commanding, Settled: 6 bytes the device's MAC, 16 bytes the address it
//                   answers from (NUL-padded; empty: not known)
//   Bye:            nothing
//
// The copy that receives replies addressed to this computer passes on those
// it has read while more wait in its socket together, in one message sent
// when none waits any more or the message is full: a burst costs a few
// loopback datagrams, not one per reply, and a lone reply goes at once.
// Earlier versions passed one reply per message, without its length, under
// kind 4; such a message is still taken. It cannot be mistaken for a new
// one, which has a kind of its own, and a copy that knows only kind 4 drops
// the new kind as unknown.
//
// Only a message that arrived over the loopback is taken: no other computer
// can send one that does. Integers are in this computer's byte order.
class CopyChannel final {
public:
    // Linux numbers the loopback 1 in every network namespace.
    static constexpr unsigned LoopbackInterface = 1;
    static constexpr const char* Address = "127.255.255.255";
    // The largest message, well under the largest datagram, and what a
    // Passed message adds to each reply it carries.
    static constexpr std::size_t MessageMax = 16384;
    static constexpr std::size_t PassedEntryOverhead = 16 + 4 + 2;
    // How long another copy's settled command still contests a result (the
    // result that settled it may reach this copy later), and how long one
    // never settled does (its copy may have ended without a Bye).
    static constexpr std::int64_t SettledGraceMs = 1000;
    static constexpr std::int64_t UnsettledBoundMs = 120000;

    using Message = std::vector<std::uint8_t>;
    using Send = FunctionRef<void(const Message&)>;
    // One reply another copy passed on, with its sender; false: take no more.
    using Deliver = FunctionRef<bool(std::span<const std::uint8_t>, const PeerAddress&)>;

    // `program` and this process's number name this copy to the others:
    // "pemblorctl (process 42)".
    explicit CopyChannel(std::string_view program);

    static bool IsMessage(std::span<const std::uint8_t> datagram);

    // Any thread: whether another copy is known to listen.
    bool OthersListen() const;

    Message Hello() const;
    Message Bye() const;
    // Adds a reply as received from `from` (at most ReceiveBufferSize bytes)
    // to the Passed message `batch`, which is begun when empty. False, with
    // `batch` left as it was, when it has no room for it: it is to be sent
    // and emptied first.
    bool Pass(Message& batch, std::span<const std::uint8_t> reply, const PeerAddress& from) const;
    Message Commanding(const MacBytes& mac, std::string_view address) const;
    Message Settled(const MacBytes& mac, std::string_view address) const;

    // Receive thread: takes a message that arrived over the loopback,
    // answering through `send`, and `remind` (which sends a Commanding for
    // each result this copy awaits) when a copy says Hello. Hands each reply
    // of another copy's Passed message to `deliver`, in order, with its
    // sender, which is not to be passed on again; a Passed message that is
    // cut short or holds a reply longer than any is dropped whole.
    void Take(std::span<const std::uint8_t> message, std::int64_t nowMs, Send send, FunctionRef<void()> remind,
              Deliver deliver);

    // Receive thread: the copy that contests a result under `mac` (zero:
    // from `sender`, which is then what counts) awaited for the device of
    // `awaitedMac`; nothing when no other copy commands it.
    std::optional<std::string> Contender(const MacBytes& mac, const MacBytes& awaitedMac, std::string_view sender,
                                         std::int64_t nowMs);

private:
    enum class Kind : std::uint8_t;
    struct Command {
        std::uint64_t copy;
        MacBytes mac;
        std::string address;
        std::int64_t sinceMs;
        bool settled;
    };

    Message Begin(Kind kind) const;
    void Forget(std::uint64_t copy);

    const std::uint64_t m_self;
    const std::string m_program;
    mutable std::mutex m_mutex;
    std::map<std::uint64_t, std::string> m_others; // under m_mutex
    std::vector<Command> m_commands;               // receive thread only
};

} // namespace pemblor
