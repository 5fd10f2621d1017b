#pragma once
#include "engine/EventLoop.h"
#include "engine/IInterfaceList.h"
#include "engine/Session.h"
#include "tests/fakenet/FakeInterfaceList.h"
#include "tests/fakenet/FakeNetwork.h"
#include "protocol/PacketHeader.h"
#include "tests/support/SimAccessPoint.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pemblor {

// A fake LAN for the windows' tests: the tool's host (198.18.0.1, one
// interface "eth0" unless a test adds more), access points of the
// simulator on hosts of their own, and the event loop on a virtual clock
// that steps only while the network is quiet. The loop is the windows'
// dispatcher; the receive thread is real. Message boxes never show: each
// takes the answer a test queued (MessageBox::setNextAnswer) or else the
// answer of Escape, and its text is kept (Messages).
class GuiRig {
public:
    static constexpr const char* ToolHost = "198.18.0.1";
    using Millis = LoopClock::Millis;

    GuiRig();
    virtual ~GuiRig();
    GuiRig(const GuiRig&) = delete;
    GuiRig& operator=(const GuiRig&) = delete;

    // Host 198.18.0.<10 + index>, MAC 02:00:00:00:00:<index + 1>, SSID
    // "ap<index>", netmask 255.255.255.0, channel 6, gateway 198.18.0.254,
    // user and password "admin".
    static std::string ApHost(int index);
    static MacBytes ApMac(int index);
    static std::string ApMacText(int index);
    static apsim::ApSettings Standard(int index);
    SimAccessPoint& AddAccessPoint(const apsim::ApSettings& settings, const apsim::Quirks& quirks = {});
    SimAccessPoint& AddStandardAccessPoint(int index, const apsim::Quirks& quirks = {});
    // Standard access points 0 to count - 1, each as `adjust` leaves it,
    // answering a discovery in their order (from 100 ms on, 100 ms apart),
    // so that the rows keep it.
    void AddInOrder(int count, const std::function<void(int, apsim::ApSettings&)>& adjust);
    // An access point behind another interface's segment: its host is made
    // there first.
    SimAccessPoint& AddAccessPointOn(const std::string& segment, const apsim::ApSettings& settings,
                                     const apsim::Quirks& quirks = {});

    // Serves Qt's events and the loop for `ms` of virtual time: whatever is
    // due meanwhile runs, in order, with Qt's posted events handled after
    // each step.
    void Advance(Millis ms);
    // Advance(0): what is due now, and what the network still carries.
    void Settle() { Advance(0); }
    Millis Now() const { return clock.Now(); }

    // The texts of the message boxes so far, oldest first.
    QStringList Messages();
    void ClearMessages();

    // Datagrams that left the tool's host: all, stop datagrams, discovery
    // queries (one per interface and cycle).
    int DatagramsSent() const;
    int StopDatagramsSent() const;
    int DiscoveriesSent() const;

    FakeNetwork net;
    std::unique_ptr<FakeSocketLayer> tool;
    std::unique_ptr<IInterfaceList> interfaces;
    FakeReversePathFilter reversePath;
    VirtualClock clock;
    EventLoop loop{clock};
    // The session settings a window is given; they name the interfaces above.
    SessionConfig config;
    std::vector<std::unique_ptr<SimAccessPoint>> accessPoints;

private:
    QStringList m_messages;
};

} // namespace pemblor
