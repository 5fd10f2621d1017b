#pragma once
#include "engine/IInterfaceList.h"
#include "tests/fakenet/FakeNetworkState.h"

#include <memory>
#include <string>

namespace pemblor {

// The usable interfaces of one host of the fake network, read afresh at each
// call, so a test that adds or takes down an interface between two Discovers
// sees the tool follow.
class FakeInterfaceList final : public IInterfaceList {
public:
    FakeInterfaceList(std::shared_ptr<FakeNetwork::State> state, std::string hostAddress);

    bool Usable(std::vector<NetworkInterface>& out) override;
    int LastError() const override { return m_lastError; }

    // The next call fails with `error`.
    void FailNext(int error) { m_nFailNext = error; }

private:
    std::shared_ptr<FakeNetwork::State> m_state;
    std::string m_host;
    int m_lastError = 0;
    int m_nFailNext = 0;
};

} // namespace pemblor
