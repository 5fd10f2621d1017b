#pragma once
#include <string_view>

namespace pemblor {

// Where the selected device's detail reply goes, entry by entry.
//
// Threads: SetSetting runs on the receive thread, under the conversation's
// device lock, so it never stores into a target that ReleaseDevice has
// returned from. It must not call into the user interface.
class DetailTarget {
public:
    virtual void SetSetting(std::string_view name, std::string_view value) = 0;

protected:
    ~DetailTarget() = default;
};

} // namespace pemblor
