#pragma once
#include "protocol/Requests.h"

#include <string>
#include <string_view>

namespace pemblor {

// What the re-address job needs of the network: requests addressed by MAC
// (in the header), sent out of every interface, and discovery rounds. The
// front end owns the sockets; it hands the replies it hears to the job
// (ReaddressJob::DetailHeard and the others) on the job's thread.
class FleetLink {
public:
    virtual ~FleetLink() = default;

    // Each returns false, with `error` set to the failure's words, when the
    // request went out of no interface.
    virtual bool SendDetailQuery(std::string_view mac, std::string& error) = 0;
    virtual bool SendSettingsChange(std::string_view mac, std::string_view user, std::string_view password,
                                    const SettingsChange& change, std::string& error) = 0;
    virtual bool SendReboot(std::string_view mac, std::string_view user, std::string_view password,
                            std::string& error) = 0;
    virtual bool SendDiscovery(std::string& error) = 0;
    // The device awaits no more replies to its requests (a late one would be
    // ignored anyway; forgetting it keeps a zero-MAC result from its address
    // clear for the next device there).
    virtual void Forget(std::string_view mac) = 0;
};

} // namespace pemblor
