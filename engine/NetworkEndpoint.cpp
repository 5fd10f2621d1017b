#include "engine/NetworkEndpoint.h"

#include <cerrno>

namespace pemblor {

std::atomic<SocketHandle> g_hRecvSocket{InvalidSocket};

CNetworkEndpoint::CNetworkEndpoint(ISocketLayer& layer, std::uint16_t recvPort)
    : m_layer(layer), m_nRecvPort(recvPort)
{
}

std::unique_ptr<ISocket> CNetworkEndpoint::Create(std::uint16_t port, int& error)
{
    std::unique_ptr<ISocket> socket = m_layer.Open();
    if (!socket) {
        error = m_layer.LastError();
        return nullptr;
    }
    // Every copy of the tool on this computer shares the device port.
    if ((port != 0 && !socket->ShareAddress()) || !socket->Bind(port)) {
        // The bind's number is the one reported, whatever closing does.
        error = m_layer.LastError();
        socket.reset();
        return nullptr;
    }
    return socket;
}

EndpointResult CNetworkEndpoint::Open(std::atomic<SocketHandle>& slot)
{
    const auto fail = [&](EndpointStep step, int error) {
        m_nLastError = error;
        return EndpointResult{step, error};
    };

    int error = 0;
    m_skSend = Create(0, error);
    if (!m_skSend)
        return fail(EndpointStep::CreateSend, error);
    m_skRecv = Create(m_nRecvPort, error);
    if (!m_skRecv)
        return fail(EndpointStep::CreateReceive, error);
    if (!m_skSend->SetBroadcast())
        return fail(EndpointStep::BroadcastSend, m_layer.LastError());
    if (!m_skRecv->SetBroadcast())
        return fail(EndpointStep::BroadcastReceive, m_layer.LastError());

    slot.store(m_skRecv->Detach());
    m_skRecv.reset();
    return {};
}

int CNetworkEndpoint::SendTo(const void* data, std::size_t size, std::uint16_t port, const char* host)
{
    return Sent([&](ISocket& socket) { return socket.SendTo(data, size, port, host); });
}

int CNetworkEndpoint::SendOutOf(unsigned interfaceIndex, const void* data, std::size_t size, std::uint16_t port,
                                const char* host)
{
    return Sent([&](ISocket& socket) { return socket.SendOutOf(interfaceIndex, data, size, port, host); });
}

int CNetworkEndpoint::Sent(FunctionRef<int(ISocket&)> send)
{
    const int sent = m_skSend ? send(*m_skSend) : -1;
    if (sent < 0)
        m_nLastError = m_skSend ? m_layer.LastError() : EBADF;
    return sent;
}

} // namespace pemblor
