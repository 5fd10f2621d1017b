#pragma once
#include "engine/Transport.h"
#include "fleet/FleetLink.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace pemblor {

class ReaddressJob;

// The re-address job's requests over the tool's transport, and the replies
// back to the job: a device's detail and result replies through the
// transport's routing (by MAC; a zero-MAC result from the address it
// answered the read from), discovery replies through the transport's
// observer. The owner sets it as the transport's observer before the
// receive thread starts and attaches the job before the job starts.
//
// Threads: the user-interface thread, but for ReplyReceived, which the
// receive thread calls and which reaches the job through the dispatcher.
class TransportFleetLink final : public FleetLink, public TransportObserver {
public:
    using Clock = std::function<std::int64_t()>;

    TransportFleetLink(Transport& transport, Clock now);
    ~TransportFleetLink() override;
    TransportFleetLink(const TransportFleetLink&) = delete;
    TransportFleetLink& operator=(const TransportFleetLink&) = delete;

    void Attach(ReaddressJob* job) { m_job = job; }
    // Set when the receive thread stopped listening.
    bool ReceiveStopped() const { return m_receiveStopped; }

    // FleetLink
    bool SendDetailQuery(std::string_view mac, std::string& error) override;
    bool SendSettingsChange(std::string_view mac, std::string_view user, std::string_view password,
                            const SettingsChange& change, std::string& error) override;
    bool SendReboot(std::string_view mac, std::string_view user, std::string_view password,
                    std::string& error) override;
    bool SendDiscovery(std::string& error) override;
    void Forget(std::string_view mac) override;

    // TransportObserver
    void QueryHeard(unsigned) override {}
    void ReplyReceived(const ReplyDatagram& reply, unsigned arrival) override;
    void ReceiveFailed(ReceiveFailure) override { m_receiveStopped = true; }

private:
    class Route;
    Route& RouteOf(std::string_view mac);
    bool Sent(Request request, const Datagram& datagram, std::string& error);

    Transport& m_transport;
    Clock m_now;
    ReaddressJob* m_job = nullptr;
    std::map<std::string, std::unique_ptr<Route>, std::less<>> m_routes;
    bool m_receiveStopped = false;
};

} // namespace pemblor
