#pragma once
#include "engine/FunctionRef.h"
#include "engine/ISocket.h"
#include "engine/ISocketLayer.h"

#include <atomic>
#include <memory>

namespace pemblor {

// Process-wide slot through which the receive socket's handle passes from the
// window, which opens it, to the receive thread, which owns it from then on.
// Written once by the user-interface thread before the thread exists.
extern std::atomic<SocketHandle> g_hRecvSocket;

// The step of opening the endpoint that failed.
enum class EndpointStep { None, CreateSend, CreateReceive, BroadcastSend, BroadcastReceive };

struct EndpointResult {
    EndpointStep failed = EndpointStep::None;
    int error = 0; // the system's number behind the failure
    bool Ok() const { return failed == EndpointStep::None; }
};

// The tool's two sockets: m_skSend on an ephemeral port and m_skRecv on the
// device port, shared with the other copies of the tool on this computer
// (ISocket::ShareAddress), both with the broadcast option. Owned by the device list
// window; m_skSend lives as long as the window, m_skRecv only until its handle
// is handed over.
class CNetworkEndpoint final {
public:
    CNetworkEndpoint(ISocketLayer& layer, std::uint16_t recvPort);
    CNetworkEndpoint(const CNetworkEndpoint&) = delete;
    CNetworkEndpoint& operator=(const CNetworkEndpoint&) = delete;

    // Opens the endpoint in the fixed order: create m_skSend, create m_skRecv,
    // broadcast on each, hand m_skRecv over to `slot`. Stops at the first
    // failure and returns its step with the last error number.
    EndpointResult Open(std::atomic<SocketHandle>& slot);

    // One datagram through m_skSend. Negative on failure; LastError() then
    // holds the number.
    int SendTo(const void* data, std::size_t size, std::uint16_t port, const char* host);
    // The same out of one interface (ISocket::SendOutOf).
    int SendOutOf(unsigned interfaceIndex, const void* data, std::size_t size, std::uint16_t port, const char* host);
    int LastError() const { return m_nLastError; }

    bool HasSendSocket() const { return m_skSend != nullptr; }

private:
    std::unique_ptr<ISocket> Create(std::uint16_t port, int& error);
    // `send` through m_skSend, keeping the number of a failure (EBADF
    // without the socket).
    int Sent(FunctionRef<int(ISocket&)> send);

    ISocketLayer& m_layer;
    std::uint16_t m_nRecvPort;
    int m_nLastError = 0;

public:
    std::unique_ptr<ISocket> m_skSend;
    std::unique_ptr<ISocket> m_skRecv;
};

} // namespace pemblor
