#include "engine/Session.h"

namespace pemblor {

Session::Session(ISocketLayer& sockets, UiDispatcher& ui, DiscoveryListener& listener, SessionConfig config,
                 Clock now, std::size_t expectedDevices)
    : m_ui(ui)
    , m_transport(sockets, ui, std::move(config))
    , m_registry(ui, expectedDevices)
    , m_discovery(m_transport, m_registry, ui, listener, std::move(now))
{
}

Session::~Session()
{
    StopReceiveThread();
}

EndpointResult Session::Open()
{
    return m_transport.Open();
}

} // namespace pemblor
