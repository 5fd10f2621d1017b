#include "fleet/PlanJob.h"

#include "engine/DeviceRegistry.h"
#include "engine/Transport.h"

namespace pemblor {

void HearFrom(const DeviceRegistry& registry, const Transport& transport, PlanInputs& inputs)
{
    inputs.heard.clear();
    for (int i = 0; i < registry.Size(); ++i) {
        const std::optional<DeviceRecord> record = registry.Get(i);
        if (!record)
            continue;
        HeardDevice device;
        device.mac = std::string(record->macText.view());
        ParseIpv4(record->address.c_str(), device.answersFrom);
        std::uint32_t reports = 0;
        if (const auto value = record->Value("IP_ADDR"); value && ParseIpv4(std::string(*value).c_str(), reports))
            device.reports = reports;
        device.heardOn = transport.InterfaceNamed(record->interfaceName);
        inputs.heard.push_back(std::move(device));
    }
    // Every address of this computer, secondary ones too, is its own.
    const InterfaceSet* interfaces = transport.Interfaces();
    inputs.reserved = interfaces ? OwnAddresses(interfaces->All()) : std::vector<std::uint32_t>();
}

void PlanJob::Start()
{
    if (!m_in.discover) {
        Plan(m_in.known);
        Next();
    } else if (m_in.discover()) {
        m_step = Step::Discovering;
        m_dispatcher.Schedule(*this, m_in.listenMs);
    } else {
        m_result.failure = "the discovery request went out of no interface";
        End();
    }
}

void PlanJob::Expired()
{
    switch (m_step) {
    case Step::Discovering:
        m_in.heardBy(m_in);
        Plan(m_in.known);
        break;
    case Step::Probing:
        Plan(m_in.Hosts());
        break;
    case Step::Settling:
        End();
        return;
    default:
        return;
    }
    Next();
}

void PlanJob::Plan(std::span<const Neighbour> hosts)
{
    m_result = MakePlan(m_in.request, m_in.heard, m_in.reserved, hosts);
    if (planned)
        planned(m_result);
}

void PlanJob::Next()
{
    // Each planned address is probed once; skips move the later ones on.
    if (m_in.sockets && m_result.Planned() && m_passes < MaxProbePasses &&
        PlanOnDevicesLink(m_in.request, m_in.heard)) {
        const std::vector<std::uint32_t> fresh = AddressesToProbe(m_result.rows, m_probed);
        if (!fresh.empty()) {
            ++m_passes;
            PromptResolution(*m_in.sockets, fresh);
            m_step = Step::Probing;
            m_dispatcher.Schedule(*this, ResolutionWaitMs);
            return;
        }
    }
    if (m_probed.size() > ProbeSettleAbove) {
        m_step = Step::Settling;
        m_dispatcher.Schedule(*this, ProbeSettleMs);
        return;
    }
    End();
}

void PlanJob::End()
{
    m_step = Step::Done;
    if (finished)
        finished();
}

} // namespace pemblor
