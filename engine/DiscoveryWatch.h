#pragma once
#include "engine/NetworkInterface.h"
#include "engine/SilenceDiagnosis.h"

#include <mutex>
#include <vector>

namespace pemblor {

// What one discovery cycle did on each interface: sent out of it, and heard
// back on it. A receive socket bound to the device port always hears the
// tool's own broadcast on the interface it left by, unless something on this
// computer drops inbound datagrams to that port; that is how a silent network
// is told from a blocked one.
//
// Threads: Begin, Sent and Diagnose on the user-interface thread; Heard on
// the receive thread.
class DiscoveryWatch final {
public:
    // A new cycle over `interfaces` (`withoutLink`: those up without a link);
    // `listed` false when they could not be read.
    void Begin(const std::vector<NetworkInterface>& interfaces, bool listed,
               std::vector<std::string> withoutLink = {});
    void Sent(unsigned interfaceIndex) { Mark(interfaceIndex, &Track::sent); }
    // The tool's own query arrived on this interface.
    void Heard(unsigned interfaceIndex) { Mark(interfaceIndex, &Track::heard); }
    // Why nothing answered; `reversePath`: what the filter dropped meanwhile.
    SilenceDiagnosis Diagnose(std::optional<ReversePathNote> reversePath = std::nullopt) const;

private:
    struct Track {
        NetworkInterface networkInterface;
        bool sent = false;
        bool heard = false;
    };
    void Mark(unsigned interfaceIndex, bool Track::*flag);

    mutable std::mutex m_mutex;
    std::vector<Track> m_tracks;
    std::vector<std::string> m_withoutLink;
    bool m_listed = false;
};

} // namespace pemblor
