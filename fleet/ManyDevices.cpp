#include "fleet/ManyDevices.h"

#include "common/ValidateSettings.h"
#include "fleet/PlanFile.h"
#include "protocol/MacText.h"

#include <algorithm>
#include <utility>

namespace pemblor {
namespace {

// The job's deadlines are far apart; the Rebooting rows count seconds.
constexpr ManyDevices::Millis kSecondMs = 1000;

std::optional<std::uint32_t> Address(const std::optional<std::string>& text)
{
    std::uint32_t value = 0;
    if (!text || !ParseIpv4(text->c_str(), value))
        return std::nullopt;
    return value;
}

std::string RangeText(std::uint32_t first, std::uint32_t last)
{
    return first == last ? FormatIpv4(first) : FormatIpv4(first) + " - " + FormatIpv4(last);
}

} // namespace

ManyDevices::ManyDevices(Transport& transport, UiDispatcher& dispatcher, const LoopClock& clock,
                         std::vector<ManyDevice> devices, std::vector<HeardDevice> heard,
                         std::vector<std::uint32_t> reserved)
    : m_transport(transport)
    , m_dispatcher(dispatcher)
    , m_clock(clock)
{
    m_inputs.heard = std::move(heard);
    m_inputs.reserved = std::move(reserved);
    m_rows.reserve(devices.size());
    for (ManyDevice& device : devices) {
        ManyRow row;
        row.device = std::move(device);
        // The all-zero MAC of a malformed reply would address every device.
        if (!ParseDeviceMac(row.device.mac)) {
            row.refused = std::string(MsgNoDeviceMac);
            row.state = ManyRowState::Refused;
        }
        // How its password would go: the interface it was heard on, and
        // whether another device answers from its address.
        const HeardDevice* self = nullptr;
        bool shared = false;
        const std::optional<std::uint32_t> address = Address(row.device.address);
        for (const HeardDevice& other : m_inputs.heard) {
            if (other.mac == row.device.mac)
                self = &other;
            else if (address && other.answersFrom == *address)
                shared = true;
        }
        row.route = RouteBeforeQuery(row.device.address, self && self->heardOn ? &*self->heardOn : nullptr, shared);
        m_rows.push_back(std::move(row));
    }
    m_rebootSent.assign(m_rows.size(), 0);
}

ManyDevices::~ManyDevices()
{
    m_dispatcher.Cancel(static_cast<Deadline&>(*this));
}

void ManyDevices::LookForHosts(ISocketLayer& sockets, std::string table)
{
    m_inputs.sockets = &sockets;
    m_inputs.table = std::move(table);
}

void ManyDevices::Replan(PlanRequest request)
{
    if (m_job || m_applied || Probing())
        return;
    request.macs.clear();
    for (const ManyRow& row : m_rows)
        if (row.refused.empty())
            request.macs.push_back(row.device.mac);
    // No start address yet: no plan, and nothing to tell.
    PlanResult result;
    if (request.macs.empty())
        result.failure = std::string(MsgNoDeviceMac);
    else if (!request.start.empty())
        // The table as it stands: the preview follows each keystroke, and
        // sends nothing.
        result = MakePlan(request, m_inputs.heard, m_inputs.reserved, m_inputs.Hosts());
    m_inputs.request = std::move(request);
    Show(result);
}

void ManyDevices::Show(const PlanResult& result)
{
    const PlanRequest& request = m_inputs.request;
    m_planned = !request.start.empty() && result.Planned();
    m_planFailure = request.start.empty() ? std::string() : result.failure;
    m_plan = m_planned ? result.rows : std::vector<PlanRow>{};

    std::optional<std::uint32_t> previous = Address(request.start);
    if (previous)
        --*previous;
    std::size_t planIndex = 0;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        ManyRow& row = m_rows[i];
        row.skipped.clear();
        row.planned.reset();
        if (!row.refused.empty())
            continue;
        if (m_planned && planIndex < m_plan.size()) {
            row.planned = m_plan[planIndex].ip;
            const std::optional<std::uint32_t> planned = Address(row.planned);
            if (planned && previous && *planned > *previous + 1)
                row.skipped = RangeText(*previous + 1, *planned - 1);
            if (planned)
                previous = planned;
            ++planIndex;
        }
    }
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        Changed(i);
}

void ManyDevices::Apply(JobSettings settings)
{
    if (!CanApply())
        return;
    settings.dryRun = false;
    m_settings = std::move(settings);
    m_applySettings = m_settings;
    m_reversePath.Begin(m_transport.ReversePathFilter());
    PlanInputs inputs = m_inputs;
    inputs.known = m_inputs.Hosts();
    m_planJob = std::make_unique<PlanJob>(m_dispatcher, std::move(inputs));
    m_planJob->planned = [this](const PlanResult& result) { Show(result); };
    m_planJob->finished = [this] { Planned(); };
    m_planJob->Start();
}

void ManyDevices::Planned()
{
    if (m_planned) {
        Launch();
    } else if (applyRefused) {
        applyRefused();
    }
}

void ManyDevices::Launch()
{
    std::vector<JobRow> rows;
    std::size_t planIndex = 0;
    for (ManyRow& row : m_rows) {
        JobRow jobRow;
        if (!row.refused.empty()) {
            jobRow.row.mac = row.device.mac;
            jobRow.refused = row.refused;
        } else {
            jobRow.row = m_plan[planIndex++];
            row.state = ManyRowState::Waiting;
        }
        rows.push_back(std::move(jobRow));
    }
    m_applied = true;
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        Changed(i);
    StartJob(std::move(rows));
}

void ManyDevices::StartJob(std::vector<JobRow> rows)
{
    m_job = std::make_unique<FleetJob>(
        m_transport, m_dispatcher, m_settings, std::move(rows), [this](const DeviceOutcome& ended) { Ended(ended); },
        [this](std::string_view mac, DevicePhase phase) { Progress(mac, phase); });
    m_job->Start();
    Drive();
}

bool ManyDevices::RetryByBroadcast()
{
    std::vector<DeviceOutcome> heldBack = std::exchange(m_heldBack, {});
    std::vector<JobRow> rows;
    for (DeviceOutcome& ended : heldBack) {
        std::size_t index = 0;
        ManyRow* row = RowOf(ended.mac, &index);
        if (!row)
            continue;
        const CredentialRoute route = ended.route.value_or(row->route);
        const bool yes = askBroadcast && askBroadcast(ended.mac, route);
        // A question answered after the dialog stopped the job changes nothing.
        if (!m_job)
            return false;
        const auto planned = std::find_if(m_plan.begin(), m_plan.end(),
                                          [&](const PlanRow& plan) { return plan.mac == ended.mac; });
        if (yes && planned != m_plan.end()) {
            JobRow jobRow;
            jobRow.row = *planned;
            rows.push_back(std::move(jobRow));
            row->state = ManyRowState::Waiting;
            Changed(index);
            continue;
        }
        EndRow(index, ended);
    }
    if (rows.empty())
        return false;
    // Once: the devices allowed go by broadcast, and what they end with is
    // their outcome.
    m_retried = true;
    m_settings.broadcast = CredentialBroadcast::Allow;
    StartJob(std::move(rows));
    return true;
}

void ManyDevices::Stop()
{
    if (Probing()) {
        // Nothing was sent to a device yet: no row has ended.
        m_planJob.reset();
        m_applied = true;
    } else if (m_job) {
        m_job->Cancel();
        m_heldBack.clear();
    } else {
        return;
    }
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].state != ManyRowState::Ended && m_rows[i].state != ManyRowState::LeftOut) {
            m_rows[i].state = ManyRowState::Stopped;
            Changed(i);
        }
    Finish();
}

void ManyDevices::Drive()
{
    if (!m_job)
        return;
    // The job runs on its own deadlines; this one ends it, and counts the
    // Rebooting rows' seconds.
    const bool counting = std::any_of(m_rows.begin(), m_rows.end(),
                                      [](const ManyRow& row) { return row.state == ManyRowState::Rebooting; });
    if (!m_job->Done() && !counting)
        return;
    m_dispatcher.Schedule(*this, m_job->Done() ? 0u : static_cast<unsigned>(kSecondMs));
}

void ManyDevices::Expired()
{
    if (!m_job)
        return;
    const Millis now = m_clock.Now();
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        ManyRow& row = m_rows[i];
        if (row.state != ManyRowState::Rebooting)
            continue;
        const int waited = static_cast<int>((now - m_rebootSent[i]) / kSecondMs);
        if (waited != row.waitedSeconds) {
            row.waitedSeconds = waited;
            Changed(i);
        }
    }
    if (!m_job->Done())
        Drive();
    else if (!RetryByBroadcast() && m_job)
        Finish();
}

void ManyDevices::Progress(std::string_view mac, DevicePhase phase)
{
    std::size_t index = 0;
    ManyRow* row = RowOf(mac, &index);
    if (!row || row->state == ManyRowState::Ended)
        return;
    switch (phase) {
    case DevicePhase::Waiting:
        row->state = ManyRowState::Waiting;
        break;
    case DevicePhase::Reading:
        row->state = ManyRowState::Reading;
        break;
    case DevicePhase::Queued:
    case DevicePhase::Changing:
        row->state = ManyRowState::Changing;
        break;
    case DevicePhase::Verifying:
        row->state = ManyRowState::Rebooting;
        row->waitedSeconds = 0;
        m_rebootSent[index] = m_clock.Now();
        break;
    case DevicePhase::Done:
        return;
    }
    Changed(index);
    TickSoon();
}

void ManyDevices::TickSoon()
{
    // Called from inside the job: its next deadline is taken up once the
    // job's call has returned.
    m_dispatcher.Schedule(*this, 0);
}

void ManyDevices::Ended(const DeviceOutcome& ended)
{
    std::size_t index = 0;
    ManyRow* row = RowOf(ended.mac, &index);
    if (!row)
        return;
    if (ended.result == JobOutcome::NeedsBroadcast && !m_retried &&
        m_settings.broadcast == CredentialBroadcast::AskIfUnanswered) {
        // Asked once the job has ended: a question does not belong inside
        // the job's call.
        m_heldBack.push_back(ended);
        TickSoon();
        return;
    }
    EndRow(index, ended);
    // The job is finished outside its own call.
    TickSoon();
}

void ManyDevices::EndRow(std::size_t index, const DeviceOutcome& ended)
{
    m_rows[index].state = ManyRowState::Ended;
    m_rows[index].outcome = ended;
    Changed(index);
    if (outcome)
        outcome(ended);
}

void ManyDevices::Finish()
{
    m_dispatcher.Cancel(static_cast<Deadline&>(*this));
    m_job.reset();
    const InterfaceSet* listed = m_transport.Interfaces();
    m_dropped = m_reversePath.End(listed ? listed->All() : std::vector<NetworkInterface>());
    if (finished)
        finished();
}

PlanBack ManyDevices::MakePlanBack(std::vector<std::size_t>& rowOf) const
{
    std::vector<ResultRow> results;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].outcome) {
            results.push_back(ResultRowOf(*m_rows[i].outcome));
            rowOf.push_back(i);
        }
    }
    return pemblor::MakePlanBack(results);
}

bool ManyDevices::CanPutBack() const
{
    std::vector<std::size_t> rowOf;
    return m_applied && !Running() && !m_puttingBack && !MakePlanBack(rowOf).rows.empty();
}

void ManyDevices::PutBack()
{
    if (!CanPutBack())
        return;
    std::vector<std::size_t> rowOf;
    const PlanBack back = MakePlanBack(rowOf);
    m_puttingBack = true;
    m_retried = false;
    m_heldBack.clear();
    m_settings = m_applySettings;
    m_plan = back.rows;
    m_rebootSent.assign(m_rows.size(), 0);
    for (ManyRow& row : m_rows) {
        if (row.outcome && row.outcome->ip)
            row.device.address = *row.outcome->ip;
        row.outcome.reset();
        row.planned.reset();
        row.skipped.clear();
        row.waitedSeconds = 0;
        if (row.state != ManyRowState::Refused) {
            // A row that never ended took nothing.
            row.state = ManyRowState::LeftOut;
            row.leftOut = PlanBack::LeftOut{0, PlanBack::Why::TookNothing, {}};
        }
    }
    for (const PlanBack::LeftOut& out : back.leftOut)
        m_rows[rowOf[out.row]].leftOut = out;
    std::vector<JobRow> rows;
    for (std::size_t i = 0; i < back.rows.size(); ++i) {
        ManyRow& row = m_rows[rowOf[back.from[i]]];
        row.state = ManyRowState::Waiting;
        row.leftOut.reset();
        row.planned = back.rows[i].ip;
        rows.push_back(JobRow{back.rows[i], {}});
    }
    m_reversePath.Begin(m_transport.ReversePathFilter());
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        Changed(i);
    StartJob(std::move(rows));
}

ManyRow* ManyDevices::RowOf(std::string_view mac, std::size_t* index)
{
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].device.mac == mac) {
            if (index)
                *index = i;
            return &m_rows[i];
        }
    return nullptr;
}

void ManyDevices::Changed(std::size_t row)
{
    if (rowChanged)
        rowChanged(row);
}

std::size_t ManyDevices::CountOf(JobOutcome result) const
{
    return static_cast<std::size_t>(std::count_if(m_rows.begin(), m_rows.end(), [result](const ManyRow& row) {
        return row.outcome && row.outcome->result == result;
    }));
}

std::size_t ManyDevices::CountIn(ManyRowState state) const
{
    return static_cast<std::size_t>(
        std::count_if(m_rows.begin(), m_rows.end(), [state](const ManyRow& row) { return row.state == state; }));
}

std::string ManyDevices::OutcomeCsv() const
{
    std::vector<DeviceOutcome> outcomes;
    for (const ManyRow& row : m_rows)
        if (row.outcome)
            outcomes.push_back(*row.outcome);
    return pemblor::OutcomeCsv(outcomes);
}

} // namespace pemblor
