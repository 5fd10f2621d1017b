#pragma once
#include "engine/CredentialRoute.h"
#include "engine/DeviceRegistry.h"
#include "engine/Discovery.h"
#include "engine/DiscoveryListener.h"
#include "engine/NetworkEndpoint.h"
#include "engine/Transport.h"
#include "engine/UiDispatcher.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

namespace pemblor {

class ISocketLayer;

// The session's sockets, receive thread and interfaces are its transport's:
// it hands its configuration on as it is.
using SessionConfig = TransportConfig;

// The one entry point of the engine for a front end: the transport (the two
// sockets and the receive thread), the discovery over it and the registry of
// the devices found. A front end owns one session and drives everything
// through it; what it needs below (the transport for a device's job, the
// registry for its table) it takes from the accessors, and hands on to its
// dialogs from here, never through a window.
//
// Ownership: the session owns the three parts; the dispatcher and the
// listener outlive it. The receive thread calls into the discovery and the
// registry, so it stops before they go (the destructor's first step).
//
// Threads: the user-interface thread, unless a part's method says otherwise.
class Session final {
public:
    using Clock = Discovery::Clock;

    // `now` stamps the device records as they are heard (null: 0);
    // `expectedDevices` is the registry's working size.
    Session(ISocketLayer& sockets, UiDispatcher& ui, DiscoveryListener& listener, SessionConfig config = {},
            Clock now = {}, std::size_t expectedDevices = 1024);
    // Stops the receive thread (a bounded wait).
    ~Session() { StopReceiveThread(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens the send socket and the receive socket; on failure the endpoint
    // has no sockets and every send fails.
    EndpointResult Open() { return m_transport.Open(); }
    // Starts the receive thread unless it runs already; false (after
    // ReceiveFailed(Launch)) when it cannot be started.
    bool StartReceiveThread() { return m_transport.StartReceiveThread(); }
    // State Closing and the stop datagram (Discovery::Close).
    void Close() { m_discovery.Close(); }
    // Stops the receive thread with a bounded wait, serving the dispatcher
    // meanwhile. The destructor calls it; a front end calls it earlier when
    // the receive thread must stop calling into what the front end owns.
    void StopReceiveThread() { m_transport.StopReceiveThread(); }
    // A tick of the dispatcher's timer: the front end passes each on.
    void OnTimer() { m_discovery.OnTimer(); }

    // The parts. transport(): the sockets and the receive thread, which the
    // devices' jobs share; discovery(): the cycles and the state;
    // registry(): the devices heard; dispatcher(): the front end's way to its
    // user-interface thread, for the jobs a dialog starts.
    Transport& transport() { return m_transport; }
    const Transport& transport() const { return m_transport; }
    Discovery& discovery() { return m_discovery; }
    const Discovery& discovery() const { return m_discovery; }
    DeviceRegistry& registry() { return m_registry; }
    const DeviceRegistry& registry() const { return m_registry; }
    UiDispatcher& dispatcher() { return m_ui; }

    // Any thread: the interface of this name as read at the last discovery.
    std::optional<NetworkInterface> InterfaceNamed(std::string_view name) const
    {
        return m_transport.InterfaceNamed(name);
    }

    // How the credentials of the listed device `macText` would go, as far as
    // it is known before the job asks the device (ListedDeviceRoute):
    // nothing when it is not listed. For a dialog's warning before Apply
    // and the table's tool tip.
    std::optional<CredentialRoute> CredentialRouteOf(std::string_view macText) const
    {
        return ListedDeviceRoute(m_registry, m_transport, macText);
    }
    // A job's JobPlan::addressShared for the device `macText`: whether
    // another listed device answers from an address. The session outlives
    // the job.
    std::function<bool(std::string_view)> SharedAddressCheck(std::string_view macText) const
    {
        const MacBytes mac = ParseMacText(macText);
        return [this, mac](std::string_view address) { return AddressSharedInRegistry(m_registry, mac, address); };
    }

private:
    UiDispatcher& m_ui;
    Transport m_transport;
    DeviceRegistry m_registry;
    Discovery m_discovery;
};

} // namespace pemblor
