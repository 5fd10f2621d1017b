#pragma once
#include "engine/EventLoop.h"
#include "engine/ISocket.h"
#include "tests/fakenet/FakeNetwork.h"
#include "protocol/Datagram.h"
#include "tools/apsim/AccessPoint.h"

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pemblor {

// An access point of the simulator (its model of the agent, tools/apsim) on
// the fake network, on the event loop's virtual clock. Requests are heard on
// the host of its factory address, by a thread that serves every access
// point standing there (devices may share an address); an answer without a
// delay leaves at once, a delayed one (and a quirk's late copy) when the
// clock reaches it (scheduled by the loop's thread). Each answer leaves from
// the address the model names (the running address, or a quirk's), a host of
// its own on the network. As the simulator does, it hears every broadcast
// (at its factory address), and a request sent to an address only when that
// is the address it runs at and it does not hear broadcasts only: it listens
// at each address it comes to run at too.
class SimAccessPoint final {
public:
    // `loop` outlives the access point, which is destroyed on the loop's
    // thread.
    SimAccessPoint(FakeNetwork& network, EventLoop& loop, const apsim::ApSettings& settings,
                   const apsim::Quirks& quirks = {}, std::chrono::milliseconds rebootTime = std::chrono::seconds(5));
    ~SimAccessPoint();
    SimAccessPoint(const SimAccessPoint&) = delete;
    SimAccessPoint& operator=(const SimAccessPoint&) = delete;

    std::string Mac() const;
    // What the access point does from the next request on (silence, delay,
    // repeated discovery replies, ...).
    void SetQuirks(const apsim::Quirks& quirks);
    apsim::Quirks Quirks() const;
    // Discovery replies carry exactly these entry texts from now on, in this
    // order, whatever was asked (still with the quirks' delay, repeats and
    // sender); `entryCountField`, when not negative, is written into the
    // header's entry count instead of the number of entries. Nothing: the
    // model answers again.
    void SetDiscoveryEntries(std::optional<std::vector<std::string>> entries, int entryCountField = -1);
    // Sends `datagram` at once from the access point's host to `toHost` on
    // the device port.
    void Send(const Datagram& datagram, const std::string& toHost);
    // Every request heard (types 0 and 2) for everyone or for this access
    // point, one string each: the type, the credentials and the entries, as
    // "2 admin/secret:|flash set IP_ADDR 198.18.1.50|reboot".
    std::vector<std::string> Requests() const;
    // For each of those, "broadcast" or the address it was sent to.
    std::vector<std::string> Destinations() const;

private:
    // The device port at one address, shared by the access points there.
    class Listener;
    struct Delayed {
        apsim::OutgoingReply reply;
        std::string toHost;
        int delayMs = 0;
    };
    struct ScheduleCall final : PostedCall {
        SimAccessPoint* owner = nullptr;
        void Run() override { owner->ScheduleDelayed(); }
    };
    struct ListenCall final : PostedCall {
        SimAccessPoint* owner = nullptr;
        void Run() override { owner->ListenWhereItRuns(); }
    };
    // A listener's thread: one datagram heard at `via`'s address, sent to
    // `to` (an address, or 255.255.255.255).
    void Heard(const std::uint8_t* data, std::size_t size, const PeerAddress& from, const std::string& to,
               const Listener& via);
    // The loop's thread: joins the listener at the address it runs at.
    void ListenWhereItRuns();
    // With m_mutex held.
    void Answer(apsim::OutgoingReply reply, const std::string& toHost);
    void Send(const apsim::OutgoingReply& reply, const std::string& toHost);
    // With m_mutex held: the scripted discovery reply in place of the model's.
    void Script(apsim::OutgoingReply& reply) const;
    void ScheduleDelayed();

    FakeNetwork& m_network;
    EventLoop& m_loop;
    const std::chrono::milliseconds m_rebootTime;
    std::string m_host;
    std::shared_ptr<Listener> m_listener;
    // The listeners at the other addresses it came to run at (loop's thread).
    std::map<std::string, std::shared_ptr<Listener>> m_runningListeners;
    ScheduleCall m_scheduleCall;
    ListenCall m_listenCall;
    // Delayed answers still scheduled on the loop hold it weakly: once the
    // access point is gone they send nothing.
    std::shared_ptr<SimAccessPoint*> m_self = std::make_shared<SimAccessPoint*>(this);

    mutable std::mutex m_mutex;
    apsim::AccessPoint m_model;
    std::vector<std::string> m_requests;
    std::vector<std::string> m_destinations;
    std::uint32_t m_listensAt = 0; // the running address it listens at
    std::optional<std::vector<std::string>> m_discoveryEntries;
    int m_entryCountField = -1;
    std::vector<Delayed> m_delayed;
    // The hosts the answers leave from, by address (the factory address's
    // is the listener's).
    std::map<std::string, std::pair<std::unique_ptr<FakeSocketLayer>, std::unique_ptr<ISocket>>> m_senders;
};

} // namespace pemblor
