#pragma once
#include "engine/UiDispatcher.h"
#include "fleet/Planner.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace pemblor {

class DeviceRegistry;
class ISocketLayer;
class Transport;

// What a planning job plans from.
struct PlanInputs {
    PlanRequest request;
    std::vector<HeardDevice> heard;
    // Addresses the plan skips besides the devices' (the computer's own).
    std::vector<std::uint32_t> reserved;
    // Other hosts are looked for through `sockets` (null: not looked for) in
    // the neighbour table at `table`; `known` are those it held before any
    // probe, which the first plan skips.
    ISocketLayer* sockets = nullptr;
    std::string table;
    std::vector<Neighbour> known;
    // The other hosts the table holds now; none without a table.
    std::vector<Neighbour> Hosts() const
    {
        return table.empty() ? std::vector<Neighbour>{} : ReadNeighbourTable(table.c_str());
    }
    // Set: the devices are heard first. `discover` sends the discovery
    // request (false: it went out of no interface, and the job ends
    // unplanned); `listenMs` later, `heardBy` ends the cycle and fills in
    // `heard` and `reserved` (HearFrom).
    std::function<bool()> discover;
    std::function<void(PlanInputs&)> heardBy;
    unsigned listenMs = 0;
};

// Fills in `heard` with every device `registry` lists, on the interface of
// `transport` it answered on, and `reserved` with the computer's own
// addresses.
void HearFrom(const DeviceRegistry& registry, const Transport& transport, PlanInputs& inputs);

// Plans a fleet's new addresses, step by step on the user-interface thread
// (every wait a deadline of the dispatcher, so a window stays responsive):
// discover, or take the devices already heard; plan; when the plan lies on
// the devices' link and other hosts are looked for, probe the planned
// addresses not yet probed, give the kernel ResolutionWaitMs, read the
// neighbour table and plan again, until every planned address has been
// probed or MaxProbePasses; after probing more than ProbeSettleAbove
// addresses, wait ProbeSettleMs, so that the apply that follows finds room
// in the kernel's neighbour table.
//
// The dispatcher and the socket layer outlive the job.
class PlanJob final : private Deadline {
public:
    PlanJob(UiDispatcher& dispatcher, PlanInputs inputs) : m_dispatcher(dispatcher), m_in(std::move(inputs)) {}
    ~PlanJob() { m_dispatcher.Cancel(*this); }
    PlanJob(const PlanJob&) = delete;
    PlanJob& operator=(const PlanJob&) = delete;

    // Told of every plan made, and once at the end (Result() holds the last).
    std::function<void(const PlanResult&)> planned;
    std::function<void()> finished;

    void Start();
    bool Done() const { return m_step == Step::Done; }
    const PlanResult& Result() const { return m_result; }

private:
    enum class Step { Idle, Discovering, Probing, Settling, Done };

    void Expired() override;
    void Plan(std::span<const Neighbour> hosts);
    // Probes the planned addresses not yet probed, settles, or ends.
    void Next();
    void End();

    UiDispatcher& m_dispatcher;
    PlanInputs m_in;
    Step m_step = Step::Idle;
    int m_passes = 0;
    std::set<std::uint32_t> m_probed;
    PlanResult m_result;
};

} // namespace pemblor
