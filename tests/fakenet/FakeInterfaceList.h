#pragma once
#include "engine/IInterfaceList.h"
#include "engine/IReversePathFilter.h"
#include "tests/fakenet/FakeNetworkState.h"

#include <map>
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
    std::vector<std::string> WithoutLink() const override { return m_withoutLink; }

    // The next call fails with `error`.
    void FailNext(int error) { m_nFailNext = error; }

private:
    std::shared_ptr<FakeNetwork::State> m_state;
    std::string m_host;
    int m_lastError = 0;
    int m_nFailNext = 0;
    std::vector<std::string> m_withoutLink;
};

// The kernel's reverse-path filter as a test sets it: `drops` grows by
// `risePerRead` after every read, as if the kernel dropped packets meanwhile.
class FakeReversePathFilter final : public IReversePathFilter {
public:
    std::optional<std::uint64_t> Drops() override
    {
        const std::optional<std::uint64_t> read = drops;
        if (drops)
            *drops += risePerRead;
        return read;
    }
    int Mode(std::string_view interfaceName) override
    {
        const auto found = modes.find(std::string(interfaceName));
        return found != modes.end() ? found->second : 0;
    }

    std::optional<std::uint64_t> drops = 0;
    std::uint64_t risePerRead = 0;
    std::map<std::string, int> modes;
};

} // namespace pemblor
