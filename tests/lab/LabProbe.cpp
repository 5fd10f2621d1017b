// Runs inside the tool namespace of scripts/lab and talks to apsim over real
// sockets. Modes:
//   discovery            every lab access point answers one discovery
//                        correctly; a second endpoint finds the port taken
//   settings SECONDS     credentials, settings change and reboot of the first
//                        access point (apsim runs with --reboot-seconds SECONDS)
//   quirk-args           prints the apsim arguments the quirks mode expects
//   quirks               each apsim quirk shapes its replies as documented
//   command-args         prints the apsim arguments the commands mode expects
//   commands SECONDS     (scripts/lab --command-log, --reboot-seconds SECONDS)
//                        the command quirks: zero-MAC results, two devices at
//                        one address, per-device credentials for changes and
//                        reboots, a device that never returns, a change that
//                        takes effect at once, a result code of its own with
//                        a late copy, a restart at another address and
//                        netmask than stored; and the command log's lines
//   shared SECONDS       (scripts/lab --links 2, link 2's access points all
//                        at one address outside its /24, --reboot-seconds
//                        SECONDS) they are reached out of lab1 and answer
//                        from that address on lab1, one by one by MAC; one
//                        moved into the link's subnet answers from there
//   many                 all PEMBLOR_LAB_AP_COUNT access points answer one
//                        discovery; prints how long the replies took
//   links                (scripts/lab --links N) the interfaces are listed;
//                        a discovery out of each reaches the access points
//                        behind it, on both send paths, and each reply and
//                        echo tells its arrival interface; a broadcast that
//                        chooses no interface reaches link 1 only
//   blocked              (--links N --drop-inbound) the sends out of every
//                        interface succeed but neither the echo nor a reply
//                        comes back
// Exit status 0 when every check passed.
#include "LabLink.h"

#include "engine/PosixInterfaceList.h"
#include "protocol/DatagramType.h"
#include "common/FormatError.h"
#include "protocol/EntryText.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using pemblor::lab::LabLink;
using Clock = LabLink::Clock;
using namespace std::chrono_literals;

constexpr auto ReplyWait = 5s;
const std::vector<std::string> DiscoveryNames = {"SSID", "IP_ADDR", "CURRENT_SUBNET_MASK", "CHANNEL"};

int g_nPassed = 0;
int g_nFailed = 0;

bool Check(bool condition, const std::string& what)
{
    std::printf("%s - %s\n", condition ? "ok  " : "FAIL", what.c_str());
    ++(condition ? g_nPassed : g_nFailed);
    return condition;
}

std::vector<std::string> LabAddresses()
{
    std::vector<std::string> addresses;
    std::istringstream in(std::getenv("PEMBLOR_LAB_AP_ADDRS") ? std::getenv("PEMBLOR_LAB_AP_ADDRS") : "");
    for (std::string address; in >> address;)
        addresses.push_back(address);
    return addresses;
}

pemblor::ReplyDatagram View(const LabLink::Reply& reply)
{
    return pemblor::ReplyDatagram(reply.bytes.data(), reply.bytes.size(), reply.sender);
}

std::string MacOf(const LabLink::Reply& reply)
{
    return std::string(pemblor::FormatMacText(View(reply).macAddress()).view());
}

// The whole entries as "NAME=VALUE" after splitting.
std::vector<std::string> Entries(const LabLink::Reply& reply)
{
    std::vector<std::string> texts;
    pemblor::EntryTextBuffer work;
    const auto view = View(reply);
    for (const auto& [index, entry] : view.entries()) {
        const pemblor::EntryText split = pemblor::SplitEntryText(entry.text.data(), entry.length, work);
        texts.push_back(std::string(split.name) + '=' + std::string(split.value));
    }
    return texts;
}

std::string Join(const std::vector<std::string>& texts)
{
    std::string joined;
    for (const std::string& text : texts)
        joined += (joined.empty() ? "" : " ") + text;
    return joined;
}

// Replies until `count` have come or the deadline passes.
std::vector<LabLink::Reply> Collect(LabLink& link, std::size_t count, Clock::time_point deadline)
{
    std::vector<LabLink::Reply> replies;
    while (replies.size() < count)
        if (auto reply = link.Receive(deadline))
            replies.push_back(std::move(*reply));
        else
            break;
    return replies;
}

bool OpenLink(LabLink& link)
{
    std::vector<std::string> messages;
    const bool opened = link.Open(messages);
    return Check(opened && messages.empty(), "endpoint opens on the platform sockets without a message" +
                                                 (messages.empty() ? std::string() : ": " + messages.front()));
}

int Discovery()
{
    const std::vector<std::string> expected = LabAddresses();
    Check(!expected.empty(), "the lab lists its access point addresses");
    LabLink link;
    if (!OpenLink(link))
        return 1;
    Check(link.Broadcast(pemblor::BuildDiscoveryRequest()), "discovery broadcast to 255.255.255.255:21212");
    const auto replies = Collect(link, expected.size(), Clock::now() + ReplyWait);
    Check(replies.size() == expected.size(),
          std::to_string(replies.size()) + " of " + std::to_string(expected.size()) + " access points answered");
    Check(link.ownRequestsHeard() >= 1, "the receive socket hears the tool's own broadcast, which is skipped");

    std::set<std::string> macs;
    std::set<std::string> senders;
    for (const LabLink::Reply& reply : replies) {
        macs.insert(MacOf(reply));
        senders.insert(reply.sender);
        std::vector<std::string> names;
        std::string ipValue;
        pemblor::EntryTextBuffer work;
        const auto view = View(reply);
        for (const auto& [index, entry] : view.entries()) {
            const auto split = pemblor::SplitEntryText(entry.text.data(), entry.length, work);
            names.emplace_back(split.name);
            if (split.name == "IP_ADDR")
                ipValue = split.value;
        }
        Check(names == DiscoveryNames, reply.sender + " answers " + Join(names));
        Check(ipValue == reply.sender, reply.sender + " reports IP_ADDR " + ipValue);
    }
    Check(macs.size() == expected.size(), std::to_string(macs.size()) + " distinct MAC addresses");
    Check(senders == std::set<std::string>(expected.begin(), expected.end()),
          "the senders are the access points' addresses");

    // A second copy of the tool in the same host shares the device port.
    pemblor::PosixSocketLayer layer;
    pemblor::CNetworkEndpoint second(layer, pemblor::DevicePort);
    std::atomic<pemblor::SocketHandle> slot{pemblor::InvalidSocket};
    const pemblor::EndpointResult result = second.Open(slot);
    Check(result.Ok() && slot.load() != pemblor::InvalidSocket,
          "a second endpoint opens beside the first: " +
              (result.Ok() ? std::string("it did") : pemblor::EndpointFailureText(result)));
    return 0;
}

std::optional<LabLink::Reply> Ask(LabLink& link, const pemblor::Datagram& request, Clock::duration wait = ReplyWait)
{
    if (!link.Broadcast(request))
        return std::nullopt;
    return link.Receive(Clock::now() + wait);
}

int Settings(double rebootSeconds)
{
    const std::vector<std::string> addresses = LabAddresses();
    if (!Check(!addresses.empty(), "the lab lists an access point"))
        return 1;
    const std::string& address = addresses.front();
    const std::string newAddress = "198.18.7.7";
    LabLink link;
    if (!OpenLink(link))
        return 1;

    const auto found = Ask(link, pemblor::BuildDiscoveryRequest());
    if (!Check(found && found->sender == address, "discovery finds " + address))
        return 1;
    const std::string mac = MacOf(*found);

    auto detail = Ask(link, pemblor::BuildDetailQuery(mac));
    Check(detail && detail->sender == address &&
              Entries(*detail) == std::vector<std::string>{"IP_ADDR=" + address, "SUBNET_MASK=255.254.0.0",
                                                           "DEFAULT_GATEWAY=198.18.0.254", "DHCP=0"},
          "detail query answers " + (detail ? Join(Entries(*detail)) : std::string("nothing")));

    struct Command {
        const char* what;
        const char* user;
        const char* pass;
        int result;
    };
    const Command commands[] = {
        {"wrong password", "admin", "nimda", 1},
        {"wrong user name", "root", "admin", 1},
        {"empty credentials", "", "", 1},
        {"right credentials", "admin", "admin", 0},
    };
    pemblor::SettingsChange change;
    change.ipAddress = newAddress;
    change.dhcp = 1;
    for (const Command& command : commands) {
        const auto reply = Ask(link, pemblor::BuildSettingsChange(mac, command.user, command.pass, change));
        Check(reply && View(*reply).type() == pemblor::TypeCommandReply &&
                  View(*reply).resultCode() == command.result && reply->sender == address,
              std::string("settings change with ") + command.what + " gives result " +
                  (reply ? std::to_string(View(*reply).resultCode()) : std::string("none")));
    }

    detail = Ask(link, pemblor::BuildDetailQuery(mac));
    Check(detail && detail->sender == address &&
              Entries(*detail) == std::vector<std::string>{"IP_ADDR=" + newAddress, "SUBNET_MASK=255.254.0.0",
                                                           "DEFAULT_GATEWAY=198.18.0.254", "DHCP=1"},
          "before the reboot the changed settings are reported from the old address");

    const auto refused = Ask(link, pemblor::BuildRebootRequest(mac, "admin", "wrong"));
    Check(refused && View(*refused).type() == pemblor::TypeCommandReply && View(*refused).resultCode() == 1,
          "a reboot with a wrong password is refused with result 1");
    detail = Ask(link, pemblor::BuildDetailQuery(mac));
    Check(detail && detail->sender == address, "after a refused reboot the access point answers at once");

    const Clock::time_point rebooted = Clock::now();
    Check(link.Broadcast(pemblor::BuildRebootRequest(mac, "admin", "admin")), "reboot sent");
    const auto during = Ask(link, pemblor::BuildDetailQuery(mac), std::chrono::milliseconds(
                                                                      static_cast<int>(rebootSeconds * 500)));
    Check(!during, "while rebooting the access point is silent (no answer to the reboot or a query)");

    // Asks again and again, as the Setup IP dialog re-reads, until an answer.
    std::optional<LabLink::Reply> after;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(
                                                          static_cast<int>(rebootSeconds * 1000)) + 10s;
    while (!after && Clock::now() < deadline)
        after = Ask(link, pemblor::BuildDetailQuery(mac), 250ms);
    const double took = std::chrono::duration<double>(after ? after->at - rebooted : Clock::duration{}).count();
    Check(after && after->sender == newAddress,
          "after the reboot it answers from " + (after ? after->sender : std::string("nowhere")));
    Check(after && took >= rebootSeconds * 0.95,
          "the first answer came " + std::to_string(took) + " s after the reboot");
    const auto rediscovered = Ask(link, pemblor::BuildDiscoveryRequest());
    Check(rediscovered && rediscovered->sender == newAddress && MacOf(*rediscovered) == mac,
          "discovery now lists the same MAC address under the new address");
    return 0;
}

// The access points of the quirks mode: 198.18.2.n, MAC 02:00:00:00:02:nn,
// SSID qn, channel 6, and one quirk each.
struct QuirkCase {
    const char* keys;
    const char* sender; // empty: the access point must stay silent
    std::uint32_t type = 1;
    int entryCount = 4;
    std::vector<std::string> entries = {}; // empty: the four standard ones; {"*"}: not compared
    std::size_t size = 0;             // 0: any
    int delayMs = 0;
    std::function<bool(const LabLink::Reply&)> extra = {};
};

std::string QuirkAddress(int n)
{
    return "198.18.2." + std::to_string(n);
}

std::vector<std::string> Standard(int n)
{
    return {"SSID=q" + std::to_string(n), "IP_ADDR=" + QuirkAddress(n), "CURRENT_SUBNET_MASK=255.254.0.0",
            "CHANNEL=6"};
}

std::vector<QuirkCase> QuirkCases()
{
    std::vector<QuirkCase> cases = {
        {.keys = "", .sender = "198.18.2.1"},
        {.keys = "quote-ssid,reply-type=7",
         .sender = "198.18.2.2",
         .type = 7,
         .extra =
             [](const LabLink::Reply& r) {
                 return (*View(r).entries().begin()).entry.text == std::string_view("SSID=\"q2\"\0", 10);
             }},
        {.keys = "answer-from=198.18.2.103", .sender = "198.18.2.103"},
        {.keys = "broadcast-replies", .sender = "198.18.2.4"},
        {.keys = "shuffle-entries,missing-entry=CHANNEL,extra-entry=EXTRA=1",
         .sender = "198.18.2.5",
         .entries = {"CURRENT_SUBNET_MASK=255.254.0.0", "IP_ADDR=198.18.2.5", "SSID=q5", "EXTRA=1"}},
        {.keys = "malformed=count-past-end", .sender = "198.18.2.6", .entryCount = 7},
        {.keys = "malformed=length-past-end",
         .sender = "198.18.2.7",
         .entries = {"SSID=q7", "IP_ADDR=198.18.2.7", "CURRENT_SUBNET_MASK=255.254.0.0"}},
        {.keys = "malformed=huge-entry",
         .sender = "198.18.2.8",
         .entries = {"*"},
         .size = 2048,
         .extra =
             [](const LabLink::Reply& r) {
                 const auto entries = Entries(r);
                 const auto standard = Standard(8);
                 return entries.size() == 4 && entries[0].starts_with("SSID=q8SSSS") &&
                        std::equal(entries.begin() + 1, entries.end(), standard.begin() + 1);
             }},
        {.keys = "malformed=zero-length-entries",
         .sender = "198.18.2.9",
         .entryCount = 6,
         .entries = {"=", "="},
         .extra =
             [](const LabLink::Reply& r) {
                 const auto view = View(r);
                 auto it = view.entries().begin();
                 const std::uint16_t first = (*it).entry.length;
                 const std::uint16_t second = (*++it).entry.length;
                 return first == 0 && second == 1;
             }},
        {.keys = "malformed=control-chars",
         .sender = "198.18.2.10",
         .entries = {"*"},
         .extra =
             [](const LabLink::Reply& r) {
                 const auto entries = Entries(r);
                 return entries.size() == 4 && entries[0].starts_with("SSID=q10\x01") &&
                        entries[0].find('\x1b') != std::string::npos;
             }},
        {.keys = "silent", .sender = ""},
        {.keys = "reply-delay-ms=400", .sender = "198.18.2.12", .delayMs = 400},
        {.keys = "no-detail", .sender = "198.18.2.13"},
    };
    // The zero-length case: the two degenerate entries, then the standard ones.
    auto& zero = cases[8].entries;
    const auto standard = Standard(9);
    zero.insert(zero.end(), standard.begin(), standard.end());
    return cases;
}

// 02:00:00:00:GROUP:N, the MACs the probe gives the access points of its
// lists.
std::string LabMac(std::uint8_t group, int n)
{
    const pemblor::MacBytes mac{0x02, 0, 0, 0, group, static_cast<std::uint8_t>(n)};
    return std::string(pemblor::FormatMacText(mac).view());
}

std::string QuirkMac(int n)
{
    return LabMac(2, n);
}

int QuirkArgs()
{
    const auto cases = QuirkCases();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        std::printf("--ap ip=%s,mac=%s,ssid=q%d,channel=6%s%s ", QuirkAddress(n).c_str(), QuirkMac(n).c_str(), n,
                    *cases[i].keys ? "," : "", cases[i].keys);
    }
    std::printf("\n");
    return 0;
}

int Quirks()
{
    const auto cases = QuirkCases();
    const auto answering = static_cast<std::size_t>(
        std::count_if(cases.begin(), cases.end(), [](const QuirkCase& c) { return *c.sender != '\0'; }));
    LabLink link;
    if (!OpenLink(link))
        return 1;

    const Clock::time_point sent = Clock::now();
    Check(link.Broadcast(pemblor::BuildDiscoveryRequest()), "discovery broadcast");
    std::map<std::string, LabLink::Reply> byMac;
    for (auto& reply : Collect(link, answering, Clock::now() + ReplyWait))
        byMac.emplace(MacOf(reply), std::move(reply));

    // Requests are answered in order, so once the plain access point has
    // answered a detail query sent after one to the no-detail access point,
    // neither that one nor the silent one (which got the discovery earlier)
    // will answer any more.
    Check(link.Broadcast(pemblor::BuildDetailQuery(QuirkMac(13))), "detail query to the no-detail access point");
    const auto marker = Ask(link, pemblor::BuildDetailQuery(QuirkMac(1)));
    Check(marker && MacOf(*marker) == QuirkMac(1) && Entries(*marker).size() == 4 &&
              Entries(*marker)[0] == "IP_ADDR=198.18.2.1",
          "the plain access point answers its detail query, and it is the next reply");

    for (std::size_t i = 0; i < cases.size(); ++i) {
        const QuirkCase& c = cases[i];
        const int n = static_cast<int>(i) + 1;
        const std::string label = std::string("[") + (*c.keys ? c.keys : "plain") + "] ";
        const auto found = byMac.find(QuirkMac(n));
        if (!*c.sender) {
            Check(found == byMac.end(), label + "does not answer");
            continue;
        }
        if (!Check(found != byMac.end(), label + "answers the discovery"))
            continue;
        const LabLink::Reply& reply = found->second;
        const auto view = View(reply);
        const auto entries = Entries(reply);
        Check(reply.sender == c.sender, label + "sender " + reply.sender);
        Check(view.type() == c.type, label + "type " + std::to_string(view.type()));
        Check(view.entryCount() == c.entryCount, label + "entryCount " + std::to_string(view.entryCount()));
        if (c.entries != std::vector<std::string>{"*"})
            Check(entries == (c.entries.empty() ? Standard(n) : c.entries), label + "entries " + Join(entries));
        if (c.size != 0)
            Check(reply.bytes.size() == c.size, label + std::to_string(reply.bytes.size()) + " bytes");
        if (c.delayMs != 0) {
            const auto late = std::chrono::duration_cast<std::chrono::milliseconds>(reply.at - sent).count();
            Check(late >= c.delayMs, label + "answered after " + std::to_string(late) + " ms");
        }
        if (c.extra)
            Check(c.extra(reply), label + "raw form as documented");
    }
    return 0;
}

// The access points of the commands mode, on 198.18.3.0/24 with MACs
// 02:00:00:00:03:0n.
struct CommandDevice {
    const char* keys;
    const char* address;
};
const CommandDevice CommandDevices[] = {
    {"zero-mac-result", "198.18.3.1"},
    {"", "198.18.3.1"}, // shares the first one's address
    {"user=other,pass=secret", "198.18.3.3"},
    {"never-return", "198.18.3.4"},
    {"apply-immediately", "198.18.3.5"},
    {"result-code=2,late-copy-ms=300", "198.18.3.6"},
    {"back-at=198.18.3.117,back-netmask=255.255.0.0", "198.18.3.7"},
};

std::string CommandMac(int n)
{
    return LabMac(3, n);
}

int CommandArgs()
{
    int n = 0;
    for (const CommandDevice& device : CommandDevices) {
        ++n;
        std::printf("--ap ip=%s,mac=%s%s%s ", device.address, CommandMac(n).c_str(), *device.keys ? "," : "",
                    device.keys);
    }
    std::printf("\n");
    return 0;
}

// Every reply to `request` within `wait`.
std::vector<LabLink::Reply> AskAll(LabLink& link, const pemblor::Datagram& request, Clock::duration wait = 1s)
{
    if (!link.Broadcast(request))
        return {};
    return Collect(link, 100, Clock::now() + wait);
}

std::string Describe(const std::vector<LabLink::Reply>& replies)
{
    std::string text;
    for (const LabLink::Reply& reply : replies)
        text += (text.empty() ? "" : "; ") + MacOf(reply) + " from " + reply.sender + " type " +
                std::to_string(View(reply).type()) +
                (View(reply).type() == pemblor::TypeCommandReply
                     ? " result " + std::to_string(View(reply).resultCode())
                     : " " + Join(Entries(reply)));
    return text.empty() ? "nothing" : text;
}

// The replies are exactly one result `code` from `sender` with header `mac`.
bool IsResult(const std::vector<LabLink::Reply>& replies, int code, const std::string& sender, const std::string& mac)
{
    return replies.size() == 1 && View(replies[0]).type() == pemblor::TypeCommandReply &&
           View(replies[0]).resultCode() == code && replies[0].sender == sender && MacOf(replies[0]) == mac;
}

// The replies are exactly one detail reply from `sender` whose IP_ADDR is `ip`.
bool IsDetail(const std::vector<LabLink::Reply>& replies, const std::string& sender, const std::string& ip)
{
    return replies.size() == 1 && View(replies[0]).type() == pemblor::TypeQueryReply &&
           replies[0].sender == sender && !Entries(replies[0]).empty() && Entries(replies[0])[0] == "IP_ADDR=" + ip;
}

std::vector<std::string> ReadLines(const char* path)
{
    std::vector<std::string> lines;
    std::ifstream in(path ? path : "");
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

int Commands(double rebootSeconds)
{
    const char* logPath = std::getenv("PEMBLOR_LAB_COMMAND_LOG");
    if (!Check(logPath != nullptr && ReadLines(logPath).empty(), "the command log exists and is empty"))
        return 1;
    LabLink link;
    if (!OpenLink(link))
        return 1;
    const std::string zero = "00:00:00:00:00:00";
    const auto reboot = std::chrono::milliseconds(static_cast<int>(rebootSeconds * 1000));

    const auto found = AskAll(link, pemblor::BuildDiscoveryRequest());
    std::map<std::string, std::string> senders;
    for (const auto& reply : found)
        senders[MacOf(reply)] = reply.sender;
    Check(senders.size() == std::size(CommandDevices) && senders[CommandMac(1)] == "198.18.3.1" &&
              senders[CommandMac(2)] == "198.18.3.1",
          "every access point answers the discovery, the first two from one address: " + Describe(found));

    pemblor::SettingsChange change;
    struct Step {
        const char* what;
        int device;
        bool isReboot;
        const char* user;
        const char* pass;
        std::string ip;                  // a settings change's new IP_ADDR
        std::string mask;                // and SUBNET_MASK, when not empty
        std::function<bool(const std::vector<LabLink::Reply>&)> expect;
        const char* logged;              // the command log's verdict
    };
    const std::vector<Step> steps = {
        {"zero-mac-result: a change is accepted with a zero MAC from the shared address", 1, false, "admin",
         "admin", "198.18.3.101", "", [&](const auto& r) { return IsResult(r, 0, "198.18.3.1", zero); }, "accepted"},
        {"zero-mac-result: a refused reboot answers result 1 with a zero MAC", 1, true, "admin", "nimda", "", "",
         [&](const auto& r) { return IsResult(r, 1, "198.18.3.1", zero); }, "refused"},
        {"the device beside it at the same address answers its own change with its MAC", 2, false, "admin",
         "admin", "198.18.3.102", "",
         [&](const auto& r) { return IsResult(r, 0, "198.18.3.1", CommandMac(2)); }, "accepted"},
        {"own credentials: the default ones are refused for a change", 3, false, "admin", "admin", "198.18.3.103", "",
         [&](const auto& r) { return IsResult(r, 1, "198.18.3.3", CommandMac(3)); }, "refused"},
        {"own credentials: a refused reboot answers result 1", 3, true, "admin", "admin", "", "",
         [&](const auto& r) { return IsResult(r, 1, "198.18.3.3", CommandMac(3)); }, "refused"},
        {"own credentials: its own accepted for a change", 3, false, "other", "secret", "198.18.3.103", "",
         [&](const auto& r) { return IsResult(r, 0, "198.18.3.3", CommandMac(3)); }, "accepted"},
        {"apply-immediately: the result comes from the old address", 5, false, "admin", "admin", "198.18.3.105", "255.255.0.0",
         [&](const auto& r) { return IsResult(r, 0, "198.18.3.5", CommandMac(5)); }, "accepted"},
        {"never-return: an accepted reboot is not answered", 4, true, "admin", "admin", "", "",
         [&](const auto& r) { return r.empty(); }, "accepted"},
        {"result-code, late-copy-ms: the change is answered with result 2, once more 300 ms later", 6, false,
         "admin", "admin", "198.18.3.106", "",
         [&](const auto& r) {
             return r.size() == 2 && IsResult({r[0]}, 2, "198.18.3.6", CommandMac(6)) &&
                    IsResult({r[1]}, 2, "198.18.3.6", CommandMac(6)) && r[1].at - r[0].at >= 280ms;
         },
         "refused"},
        {"back-at, back-netmask: a change is accepted as usual", 7, false, "admin", "admin", "198.18.3.107", "",
         [&](const auto& r) { return IsResult(r, 0, "198.18.3.7", CommandMac(7)); }, "accepted"},
    };
    std::vector<std::string> expectedLog;
    for (const Step& step : steps) {
        const std::string mac = CommandMac(step.device);
        change.ipAddress = step.ip;
        change.subnetMask.reset();
        if (!step.mask.empty())
            change.subnetMask = step.mask;
        const auto replies = AskAll(link, step.isReboot ? pemblor::BuildRebootRequest(mac, step.user, step.pass)
                                                        : pemblor::BuildSettingsChange(mac, step.user, step.pass,
                                                                                      change));
        Check(step.expect(replies), std::string(step.what) + ": " + Describe(replies));
        expectedLog.push_back(mac + (step.isReboot ? " reboot " : " set ") + step.logged);
    }

    // What each device reports now: the refused ones changed nothing, and
    // the refused reboots did not restart (they answer at once).
    struct Detail {
        int device;
        const char* sender;
        const char* ip;
    };
    const Detail details[] = {
        {1, "198.18.3.1", "198.18.3.101"},
        {2, "198.18.3.1", "198.18.3.102"},
        {3, "198.18.3.3", "198.18.3.103"},
        {5, "198.18.3.105", "198.18.3.105"},
        {6, "198.18.3.6", "198.18.3.6"},
        {7, "198.18.3.7", "198.18.3.107"},
    };
    for (const Detail& detail : details) {
        const auto replies = AskAll(link, pemblor::BuildDetailQuery(CommandMac(detail.device)));
        Check(IsDetail(replies, detail.sender, detail.ip),
              CommandMac(detail.device) + " answers at once from " + detail.sender + " with IP_ADDR " + detail.ip +
                  ": " + Describe(replies));
    }
    const auto mask = AskAll(link, pemblor::BuildDiscoveryRequest());
    bool maskRunning = false;
    for (const auto& reply : mask)
        if (MacOf(reply) == CommandMac(5))
            maskRunning = Entries(reply) == std::vector<std::string>{"SSID=lab-5", "IP_ADDR=198.18.3.105",
                                                                     "CURRENT_SUBNET_MASK=255.255.0.0", "CHANNEL=1"};
    Check(maskRunning, "apply-immediately: the discovery reply already carries the new address and running mask");
    Check(mask.size() == std::size(CommandDevices) - 1, "the never-returning device no longer answers a discovery (" +
                                                            std::to_string(mask.size()) + " replies)");

    // Device 3 restarts with its own credentials and comes back at its new
    // address, device 7 at the address and netmask its quirks name; device 4
    // stays silent well past its reboot time.
    const auto restart = AskAll(link, pemblor::BuildRebootRequest(CommandMac(3), "other", "secret"), 200ms);
    expectedLog.push_back(CommandMac(3) + " reboot accepted");
    Check(restart.empty(), "own credentials: the accepted reboot is not answered");
    const auto moved = AskAll(link, pemblor::BuildRebootRequest(CommandMac(7), "admin", "admin"), 200ms);
    expectedLog.push_back(CommandMac(7) + " reboot accepted");
    Check(moved.empty(), "back-at: the accepted reboot is not answered");
    std::optional<LabLink::Reply> back;
    const Clock::time_point deadline = Clock::now() + reboot + 10s;
    while (!back && Clock::now() < deadline)
        back = Ask(link, pemblor::BuildDetailQuery(CommandMac(3)), 250ms);
    Check(back && back->sender == "198.18.3.103", "own credentials: after the reboot it answers from 198.18.3.103");
    // Rebooted after device 3, it may still be restarting.
    std::vector<LabLink::Reply> elsewhere;
    while (elsewhere.empty() && Clock::now() < deadline)
        elsewhere = AskAll(link, pemblor::BuildDetailQuery(CommandMac(7)), 250ms);
    Check(IsDetail(elsewhere, "198.18.3.117", "198.18.3.117") && Entries(elsewhere[0]).size() > 1 &&
              Entries(elsewhere[0])[1] == "SUBNET_MASK=255.255.0.0",
          "back-at, back-netmask: after the reboot it answers from 198.18.3.117 with netmask 255.255.0.0: " +
              Describe(elsewhere));
    const auto gone = AskAll(link, pemblor::BuildDetailQuery(CommandMac(4)), reboot + 1s);
    Check(gone.empty(), "never-return: silent " + std::to_string(rebootSeconds + 1) + " s after its reboot time");
    const auto again = AskAll(link, pemblor::BuildRebootRequest(CommandMac(4), "admin", "admin"), 200ms);
    expectedLog.push_back(CommandMac(4) + " reboot ignored");
    Check(again.empty(), "never-return: a command to it goes unanswered");

    const std::vector<std::string> logged = ReadLines(logPath);
    Check(logged == expectedLog, "the command log has one line per command, in order: " + Join(logged));
    return 0;
}

int Many()
{
    const char* countText = std::getenv("PEMBLOR_LAB_AP_COUNT");
    const std::size_t count = countText ? std::strtoul(countText, nullptr, 10) : 0;
    LabLink link;
    if (!OpenLink(link))
        return 1;
    // Every access point answers at once; the burst must fit the queue.
    Check(link.ForceReceiveBuffer(64 << 20), "receive buffer enlarged for the burst");
    const Clock::time_point sent = Clock::now();
    Check(link.Broadcast(pemblor::BuildDiscoveryRequest()), "discovery broadcast");
    const auto replies = Collect(link, count, sent + 20s);
    std::set<std::string> macs;
    std::set<std::string> senders;
    for (const auto& reply : replies) {
        macs.insert(MacOf(reply));
        senders.insert(reply.sender);
    }
    const double took =
        replies.empty() ? 0.0 : std::chrono::duration<double>(replies.back().at - sent).count();
    Check(replies.size() == count && macs.size() == count && senders.size() == count,
          std::to_string(replies.size()) + " replies, " + std::to_string(macs.size()) + " MAC addresses, " +
              std::to_string(senders.size()) + " senders of " + std::to_string(count));
    std::printf("lab_probe: the last of %zu replies came %.3f s after the discovery\n", replies.size(), took);
    return 0;
}

std::vector<std::string> Words(const char* variable)
{
    std::vector<std::string> words;
    std::istringstream in(std::getenv(variable) ? std::getenv(variable) : "");
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// The tool's interfaces as the product lists them, checked against the lab's.
// A discovery request out of each of `interfaces`; `how` ends each check's
// name.
void DiscoverOutOfEach(LabLink& link, const std::vector<pemblor::NetworkInterface>& interfaces,
                       const std::string& how = {})
{
    for (const auto& usable : interfaces)
        Check(link.BroadcastOutOf(usable.index, pemblor::BuildDiscoveryRequest()),
              "discovery out of " + usable.name + how);
}

std::vector<pemblor::NetworkInterface> LabInterfaces()
{
    pemblor::PosixInterfaceList list;
    std::vector<pemblor::NetworkInterface> interfaces;
    Check(list.Usable(interfaces), "the interfaces can be listed");
    std::vector<std::string> names;
    std::vector<std::string> subnets;
    for (const auto& usable : interfaces) {
        names.push_back(usable.name);
        subnets.push_back(pemblor::FormatIpv4(usable.address) + " " + pemblor::SubnetText(usable));
    }
    Check(names == Words("PEMBLOR_LAB_TOOL_IFACES"), "usable interfaces (no loopback): " + Join(names));
    std::vector<std::string> wanted;
    for (const std::string& address : Words("PEMBLOR_LAB_TOOL_ADDRS"))
        wanted.push_back(address + " " + address.substr(0, address.rfind('.')) + ".0/24");
    Check(subnets == wanted, "their addresses and subnets: " + Join(subnets));
    return interfaces;
}

std::string NameOf(const std::vector<pemblor::NetworkInterface>& interfaces, unsigned index)
{
    for (const auto& usable : interfaces)
        if (usable.index == index)
            return usable.name;
    return "#" + std::to_string(index);
}

// "ADDRESS IFACE" of every access point, from the lab.
std::map<std::string, std::string> ExpectedInterfaces()
{
    std::map<std::string, std::string> expected;
    const char* file = std::getenv("PEMBLOR_LAB_AP_IFACE_FILE");
    std::ifstream in(file ? file : "");
    for (std::string address, name; in >> address >> name;)
        expected[address] = name;
    return expected;
}

int Links()
{
    const auto interfaces = LabInterfaces();
    const auto expected = ExpectedInterfaces();
    if (!Check(interfaces.size() >= 2 && !expected.empty(), "the lab has several links and access points"))
        return 1;

    const std::pair<pemblor::PosixSocket::SendPath, const char*> paths[] = {
        {pemblor::PosixSocket::SendPath::PacketInfo, "IP_PKTINFO"},
        {pemblor::PosixSocket::SendPath::SocketPerInterface, "a socket per interface"},
    };
    for (const auto& [path, label] : paths) {
        LabLink link(path);
        if (!OpenLink(link))
            return 1;
        const std::string how = std::string(" (") + label + ")";
        DiscoverOutOfEach(link, interfaces, how);
        std::map<std::string, std::string> heard;
        std::set<std::string> macs;
        for (const auto& reply : Collect(link, expected.size(), Clock::now() + ReplyWait)) {
            heard[reply.sender] = NameOf(interfaces, reply.interfaceIndex);
            macs.insert(MacOf(reply));
        }
        Check(macs.size() == expected.size(), "the links' access points have distinct MACs" + how);
        Check(heard == expected, std::to_string(heard.size()) + " of " + std::to_string(expected.size()) +
                                     " access points answered, each on the interface it sits behind" + how);
        for (const auto& usable : interfaces)
            Check(link.ownRequestsByInterface().count(usable.index) == 1,
                  "the tool's own broadcast comes back on " + usable.name + how);
    }

    // What the tool did before: the routes pick one interface.
    LabLink link;
    if (!OpenLink(link))
        return 1;
    Check(link.Broadcast(pemblor::BuildDiscoveryRequest()), "discovery that chooses no interface");
    std::set<std::string> heard;
    for (const auto& reply : Collect(link, expected.size(), Clock::now() + 2s))
        heard.insert(NameOf(interfaces, reply.interfaceIndex));
    Check(heard == std::set<std::string>{"lab0"}, "is answered only behind lab0, the default route's link");
    return 0;
}

// Link 2's access points share one address outside 198.18.2.0/24.
int Shared(double rebootSeconds)
{
    const auto interfaces = LabInterfaces();
    std::multimap<std::string, std::string> lines; // IFACE -> ADDRESS, as the lab lists them
    {
        const char* file = std::getenv("PEMBLOR_LAB_AP_IFACE_FILE");
        std::ifstream in(file ? file : "");
        for (std::string address, name; in >> address >> name;)
            lines.emplace(name, address);
    }
    if (!Check(interfaces.size() == 2 && lines.count("lab1") == 2, "two links, two access points behind lab1"))
        return 1;
    const std::string shared = lines.find("lab1")->second;
    const unsigned far = interfaces[1].index;
    std::uint32_t sharedValue = 0;
    Check(lines.find("lab1")->second == std::next(lines.find("lab1"))->second &&
              pemblor::ParseIpv4(shared.c_str(), sharedValue) && !interfaces[1].Contains(sharedValue),
          "the lab lists both at one address outside 198.18.2.0/24: " + shared);

    LabLink link;
    if (!OpenLink(link))
        return 1;
    DiscoverOutOfEach(link, interfaces);
    std::multimap<std::string, std::string> heard; // IFACE -> sender
    std::vector<std::string> farMacs;
    for (const auto& reply : Collect(link, lines.size(), Clock::now() + ReplyWait)) {
        heard.emplace(NameOf(interfaces, reply.interfaceIndex), reply.sender);
        if (reply.interfaceIndex == far)
            farMacs.push_back(MacOf(reply));
    }
    Check(heard == lines, std::to_string(heard.size()) + " replies, each from its address on its link");
    std::sort(farMacs.begin(), farMacs.end());
    if (!Check(farMacs.size() == 2 && farMacs[0] != farMacs[1], "two MACs behind lab1"))
        return 1;

    // Each one, asked by MAC out of its link, answers alone; out of the
    // other link nobody hears the question.
    for (const std::string& mac : farMacs) {
        link.BroadcastOutOf(far, pemblor::BuildDetailQuery(mac));
        const auto replies = Collect(link, 2, Clock::now() + 1s);
        Check(replies.size() == 1 && MacOf(replies[0]) == mac && replies[0].sender == shared &&
                  replies[0].interfaceIndex == far,
              "detail query to " + mac + " out of lab1: one reply from " + shared + " on lab1");
    }
    link.BroadcastOutOf(interfaces[0].index, pemblor::BuildDetailQuery(farMacs[0]));
    Check(Collect(link, 1, Clock::now() + 1s).empty(), "out of lab0 it goes unanswered");

    // The first moves into the link's subnet.
    pemblor::SettingsChange change;
    change.ipAddress = "198.18.2.50";
    change.subnetMask = "255.255.255.0";
    link.BroadcastOutOf(far, pemblor::BuildSettingsChange(farMacs[0], "admin", "admin", change));
    const auto result = Collect(link, 2, Clock::now() + 1s);
    Check(result.size() == 1 && View(result[0]).type() == pemblor::TypeCommandReply &&
              View(result[0]).resultCode() == 0 && result[0].sender == shared,
          "the change is accepted, answered from " + shared);
    link.BroadcastOutOf(far, pemblor::BuildRebootRequest(farMacs[0], "admin", "admin"));
    std::optional<LabLink::Reply> back;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<int>(rebootSeconds * 1000)) + 10s;
    while (!back && Clock::now() < deadline) {
        link.BroadcastOutOf(far, pemblor::BuildDetailQuery(farMacs[0]));
        back = link.Receive(Clock::now() + 250ms);
    }
    Check(back && back->sender == "198.18.2.50" && back->interfaceIndex == far,
          "after its reboot it answers from 198.18.2.50 on lab1");
    link.BroadcastOutOf(far, pemblor::BuildDetailQuery(farMacs[1]));
    const auto other = Collect(link, 1, Clock::now() + 1s);
    Check(other.size() == 1 && other[0].sender == shared, "the other one is still at " + shared);
    return 0;
}

int Blocked()
{
    const auto interfaces = LabInterfaces();
    LabLink link;
    if (!OpenLink(link))
        return 1;
    DiscoverOutOfEach(link, interfaces);
    const auto replies = Collect(link, 1, Clock::now() + 2s);
    Check(replies.empty() && link.ownRequestsHeard() == 0,
          "the firewall lets neither a reply (" + std::to_string(replies.size()) + ") nor the own broadcast (" +
              std::to_string(link.ownRequestsHeard()) + ") in");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "discovery";
    if (mode == "quirk-args")
        return QuirkArgs();
    if (mode == "command-args")
        return CommandArgs();
    int status = 2;
    if (mode == "discovery")
        status = Discovery();
    else if (mode == "settings")
        status = Settings(argc > 2 ? std::atof(argv[2]) : 5.0);
    else if (mode == "quirks")
        status = Quirks();
    else if (mode == "commands")
        status = Commands(argc > 2 ? std::atof(argv[2]) : 5.0);
    else if (mode == "shared")
        status = Shared(argc > 2 ? std::atof(argv[2]) : 5.0);
    else if (mode == "many")
        status = Many();
    else if (mode == "links")
        status = Links();
    else if (mode == "blocked")
        status = Blocked();
    else {
        std::fprintf(stderr, "usage: lab_probe [discovery | settings SECONDS | quirk-args | quirks | command-args |\n"
                             "                  commands SECONDS | shared SECONDS | many | links | blocked]\n");
        return 2;
    }
    std::printf("lab_probe %s: %d passed, %d failed\n", mode.c_str(), g_nPassed, g_nFailed);
    return status != 0 || g_nFailed != 0 || g_nPassed == 0 ? 1 : 0;
}
