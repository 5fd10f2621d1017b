#include "engine/DiscoveryWatch.h"

namespace pemblor {

void DiscoveryWatch::Begin(const std::vector<NetworkInterface>& interfaces, bool listed,
                           std::vector<std::string> withoutLink)
{
    std::lock_guard lock(m_mutex);
    m_listed = listed;
    m_withoutLink = std::move(withoutLink);
    m_tracks.clear();
    for (const NetworkInterface& usable : interfaces)
        m_tracks.push_back(Track{usable});
}

void DiscoveryWatch::Mark(unsigned interfaceIndex, bool Track::*flag)
{
    std::lock_guard lock(m_mutex);
    for (Track& track : m_tracks) {
        if (track.networkInterface.index == interfaceIndex)
            track.*flag = true;
    }
}

SilenceDiagnosis DiscoveryWatch::Diagnose(std::optional<ReversePathNote> reversePath) const
{
    std::lock_guard lock(m_mutex);
    SilenceDiagnosis diagnosis;
    if (!m_listed)
        return diagnosis;
    if (m_tracks.empty()) {
        diagnosis.cause = SilenceCause::NoInterface;
        diagnosis.interfaces = m_withoutLink;
        return diagnosis;
    }
    std::vector<std::string> blocked;
    std::vector<std::string> heard;
    for (const Track& track : m_tracks) {
        if (track.sent)
            (track.heard ? heard : blocked).push_back(track.networkInterface.name);
    }
    // One interface that did not hear its own query is enough to tell: the
    // answers there were dropped the same way.
    if (!blocked.empty()) {
        diagnosis.cause = SilenceCause::InboundBlocked;
        diagnosis.interfaces = std::move(blocked);
    } else if (reversePath) {
        diagnosis.cause = SilenceCause::ReversePathDropped;
        diagnosis.reversePath = std::move(reversePath);
    } else if (!heard.empty()) {
        diagnosis.cause = SilenceCause::NobodyAnswered;
        diagnosis.interfaces = std::move(heard);
    }
    return diagnosis;
}

} // namespace pemblor
