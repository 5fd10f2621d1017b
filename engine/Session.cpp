#include "engine/Session.h"

namespace pemblor {

namespace {

// The transport tells a reply's echoes apart on the session's clock.
SessionConfig WithClock(SessionConfig config, const Session::Clock& now)
{
    if (!config.now)
        config.now = now;
    return config;
}

} // namespace

Session::Session(ISocketLayer& sockets, UiDispatcher& ui, DiscoveryListener& listener, SessionConfig config,
                 Clock now, std::size_t expectedDevices)
    : m_ui(ui)
    , m_transport(sockets, ui, WithClock(std::move(config), now))
    , m_registry(ui, expectedDevices)
    , m_discovery(m_transport, m_registry, ui, listener, std::move(now))
{
}

} // namespace pemblor
