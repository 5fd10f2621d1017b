#pragma once
#include "engine/IInterfaceList.h"

namespace pemblor {

// The interfaces of the calling process's network namespace, read with
// getifaddrs and if_nametoindex.
class PosixInterfaceList final : public IInterfaceList {
public:
    bool Usable(std::vector<NetworkInterface>& out) override;
    int LastError() const override { return m_lastError; }

private:
    int m_lastError = 0;
};

} // namespace pemblor
