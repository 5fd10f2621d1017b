#pragma once
#include "engine/IInterfaceList.h"

namespace pemblor {

// The interfaces of the calling process's network namespace, read with
// getifaddrs; a bridge's port is told by /sys/class/net/IF/brport.
class PosixInterfaceList final : public IInterfaceList {
public:
    bool Usable(std::vector<NetworkInterface>& out) override;
    int LastError() const override { return m_lastError; }
    std::vector<std::string> WithoutLink() const override { return m_withoutLink; }

private:
    int m_lastError = 0;
    std::vector<std::string> m_withoutLink;
};

} // namespace pemblor
