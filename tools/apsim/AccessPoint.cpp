#include "AccessPoint.h"

#include "LabAddress.h"

#include "protocol/Datagram.h"
#include "protocol/DatagramType.h"

#include <algorithm>

namespace apsim {
namespace {

constexpr std::string_view FlashGet = "flash get ";
constexpr std::string_view FlashSet = "flash set ";
constexpr std::string_view Reboot = "reboot";
constexpr std::size_t HugeDatagramSize = 2048;

// An entry's text without its NUL and anything after it.
std::string_view EntryString(const pemblor::CommandEntry& entry)
{
    const std::string_view text = entry.text;
    return text.substr(0, std::min(text.find('\0'), text.size()));
}

void PutU16(std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t value)
{
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value);
}

std::size_t GetU16(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return (std::size_t{bytes[at]} << 8) | bytes[at + 1];
}

// One entry of `text` and its NUL.
void AppendEntry(std::vector<std::uint8_t>& bytes, std::string_view text)
{
    const std::size_t length = text.size() + 1;
    bytes.push_back(static_cast<std::uint8_t>(length >> 8));
    bytes.push_back(static_cast<std::uint8_t>(length));
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
}

std::vector<std::uint8_t> Encode(std::uint32_t type, const pemblor::MacBytes& mac, const std::vector<std::string>& texts)
{
    std::vector<std::string_view> views(texts.begin(), texts.end());
    const pemblor::Datagram datagram = pemblor::EncodeDatagram(type, mac, "", "", views);
    std::vector<std::uint8_t> bytes(datagram.data(), datagram.data() + datagram.size);
    if (GetU16(bytes, pemblor::PacketHeader::OffsetEntryCount) == texts.size())
        return bytes;
    // Larger than the tool's own 512-byte limit: lay the entries out here.
    bytes.resize(pemblor::HeaderSize);
    for (const std::string& text : texts)
        AppendEntry(bytes, text);
    PutU16(bytes, pemblor::PacketHeader::OffsetEntryCount, texts.size());
    return bytes;
}

std::size_t EncodedSize(const std::vector<std::string>& texts)
{
    std::size_t size = pemblor::HeaderSize;
    for (const std::string& text : texts)
        size += 2 + text.size() + 1;
    return size;
}

} // namespace

AccessPoint::AccessPoint(const ApSettings& settings, const Quirks& quirks)
    : m_mac(settings.mac),
      m_strUser(settings.user),
      m_strPass(settings.pass),
      m_quirks(quirks),
      m_nRunningIp(settings.ip),
      m_nRunningMask(settings.mask)
{
    m_flash["SSID"] = settings.ssid;
    m_flash["IP_ADDR"] = FormatAddress(settings.ip);
    m_flash["SUBNET_MASK"] = FormatAddress(settings.mask);
    m_flash["DEFAULT_GATEWAY"] = FormatAddress(settings.gateway);
    m_flash["DHCP"] = std::to_string(settings.dhcp);
    m_flash["CHANNEL"] = std::to_string(settings.channel);
}

bool AccessPoint::Awake(Clock::time_point now)
{
    if (m_bGone)
        return false;
    if (!m_rebootDone)
        return true;
    if (now < *m_rebootDone)
        return false;
    m_rebootDone.reset();
    if (m_quirks.keepAddress)
        return true;
    if (m_quirks.backAt)
        m_flash["IP_ADDR"] = FormatAddress(*m_quirks.backAt);
    if (m_quirks.backNetmask)
        m_flash["SUBNET_MASK"] = FormatAddress(*m_quirks.backNetmask);
    RunFlashAddresses();
    return true;
}

void AccessPoint::RunFlashAddresses()
{
    // An address the flash cannot give as dotted decimal keeps the old one.
    if (const auto ip = ParseAddress(m_flash["IP_ADDR"]))
        m_nRunningIp = *ip;
    if (const auto mask = ParseAddress(m_flash["SUBNET_MASK"]))
        m_nRunningMask = *mask;
}

std::optional<std::string> AccessPoint::Lookup(std::string_view name) const
{
    if (name == "CURRENT_SUBNET_MASK")
        return FormatAddress(m_nRunningMask);
    const auto it = m_flash.find(name);
    if (it == m_flash.end())
        return std::nullopt;
    return it->second;
}

std::vector<std::uint8_t> AccessPoint::BuildQueryReply(std::vector<std::string> texts) const
{
    if (m_quirks.shuffleEntries)
        std::reverse(texts.begin(), texts.end());
    texts.insert(texts.end(), m_quirks.extraEntries.begin(), m_quirks.extraEntries.end());

    if (m_quirks.malformed == MalformedMode::HugeEntry) {
        if (texts.empty())
            texts.emplace_back("PAD=");
        const std::size_t size = EncodedSize(texts);
        if (size < HugeDatagramSize)
            texts.front().append(HugeDatagramSize - size, 'S');
    }

    std::vector<std::uint8_t> bytes = Encode(m_quirks.replyType, m_mac, texts);
    switch (m_quirks.malformed) {
    case MalformedMode::CountPastEnd:
        PutU16(bytes, pemblor::PacketHeader::OffsetEntryCount, texts.size() + 3);
        break;
    case MalformedMode::LengthPastEnd:
        if (!texts.empty()) {
            const std::size_t last = bytes.size() - 2 - texts.back().size() - 1;
            PutU16(bytes, last, GetU16(bytes, last) + 64);
        }
        break;
    case MalformedMode::ZeroLengthEntries: {
        const std::vector<std::uint8_t> degenerate = {0, 0, 0, 1, 0};
        bytes.insert(bytes.begin() + pemblor::HeaderSize, degenerate.begin(), degenerate.end());
        PutU16(bytes, pemblor::PacketHeader::OffsetEntryCount, texts.size() + 2);
        break;
    }
    default:
        break;
    }
    return bytes;
}

OutgoingReply AccessPoint::Address(std::vector<std::uint8_t> bytes) const
{
    OutgoingReply reply;
    reply.bytes = std::move(bytes);
    reply.source = m_quirks.answerFrom.value_or(m_nRunningIp);
    reply.broadcast = m_quirks.broadcastReplies;
    reply.delayMs = m_quirks.replyDelayMs;
    return reply;
}

std::optional<OutgoingReply> AccessPoint::OnQuery(const pemblor::ReplyDatagram& request, bool discovery,
                                                  Clock::time_point now)
{
    if (!Awake(now) || m_quirks.silent || (!discovery && m_quirks.noDetail))
        return std::nullopt;

    std::vector<std::string> texts;
    for (const auto& [index, entry] : request.entries()) {
        const std::string_view text = EntryString(entry);
        if (!text.starts_with(FlashGet))
            continue;
        const std::string_view name = text.substr(FlashGet.size());
        if (std::find(m_quirks.missingEntries.begin(), m_quirks.missingEntries.end(), name) !=
            m_quirks.missingEntries.end())
            continue;
        std::optional<std::string> value = Lookup(name);
        if (!value)
            continue;
        if (name == "SSID") {
            if (m_quirks.malformed == MalformedMode::ControlChars)
                value->append("\x01\x02\t\n\r\x1b[7m\x7f\xfe");
            if (m_quirks.quoteSsid)
                value = '"' + *value + '"';
        }
        texts.push_back(std::string(name) + '=' + *value);
    }
    OutgoingReply reply = Address(BuildQueryReply(std::move(texts)));
    if (discovery) {
        reply.repeats = m_quirks.discoveryRepeats;
        reply.madeUpMacs = m_quirks.floodMacs;
    }
    return reply;
}

CommandOutcome AccessPoint::OnCommand(const pemblor::ReplyDatagram& request, std::string_view user,
                                     std::string_view pass, Clock::time_point now,
                                     std::chrono::milliseconds rebootTime)
{
    CommandOutcome outcome;
    for (const auto& [index, entry] : request.entries())
        if (EntryString(entry) == Reboot)
            outcome.kind = CommandOutcome::Kind::Reboot;
    if (!Awake(now) || m_quirks.silent || m_quirks.ignoreCommands)
        return outcome;

    const bool reboot = outcome.kind == CommandOutcome::Kind::Reboot;
    const bool credentialsAccepted = user == m_strUser && pass == m_strPass;
    int result = credentialsAccepted ? 0 : 1;
    if (!reboot && m_quirks.resultCode)
        result = *m_quirks.resultCode;
    const bool accepted = credentialsAccepted && result == 0;
    outcome.verdict = accepted ? CommandOutcome::Verdict::Accepted : CommandOutcome::Verdict::Refused;
    if (accepted) {
        for (const auto& [index, entry] : request.entries()) {
            const std::string_view text = EntryString(entry);
            if (!text.starts_with(FlashSet))
                continue;
            const std::string_view rest = text.substr(FlashSet.size());
            const std::size_t space = rest.find(' ');
            if (space != std::string_view::npos && space > 0)
                m_flash[std::string(rest.substr(0, space))] = std::string(rest.substr(space + 1));
        }
    }
    if (accepted && reboot) {
        if (m_quirks.neverReturn)
            m_bGone = true;
        else
            m_rebootDone = now + rebootTime;
        return outcome;
    }
    const std::vector<std::string> texts = {std::string(1, static_cast<char>(result))};
    // The result leaves before the new address takes effect, so it comes
    // from the address that the change was asked of.
    outcome.reply = Address(Encode(pemblor::TypeCommandReply, m_quirks.zeroMacResult ? pemblor::MacBytes{} : m_mac,
                                   texts));
    outcome.reply->copyAfterMs = m_quirks.lateCopyMs;
    if (accepted && m_quirks.applyImmediately)
        RunFlashAddresses();
    return outcome;
}

} // namespace apsim
