#include "fleet/PlanFile.h"
#include "fleet/Planner.h"

#include <gtest/gtest.h>

#include <sstream>

namespace pemblor {

void PrintTo(const PlanRow& row, std::ostream* out)
{
    auto text = [](const std::optional<std::string>& v) { return v ? *v : std::string("(leave)"); };
    *out << row.mac << ' ' << text(row.ip) << ' ' << text(row.netmask) << ' ' << text(row.gateway) << ' '
         << (row.dhcp ? (*row.dhcp ? "on" : "off") : "(leave)");
}

namespace {

std::uint32_t Ip(const char* text)
{
    std::uint32_t value = 0;
    EXPECT_TRUE(ParseIpv4(text, value)) << text;
    return value;
}

std::string Mac(int last)
{
    char text[18];
    std::snprintf(text, sizeof text, "02:00:00:00:00:%02X", last);
    return text;
}

NetworkInterface Eth0()
{
    return {"eth0", 2, Ip("198.18.1.1"), Ip("255.255.255.0")};
}

HeardDevice Heard(int last, const char* from, std::optional<const char*> reports = std::nullopt)
{
    HeardDevice device;
    device.mac = Mac(last);
    device.answersFrom = Ip(from);
    if (reports)
        device.reports = Ip(*reports);
    device.heardOn = Eth0();
    return device;
}

struct PlanCase {
    const char* name;
    std::vector<int> macs;
    std::string start;
    std::optional<std::string> netmask;
    std::vector<HeardDevice> heard;
    std::vector<const char*> expected; // planned addresses; empty when refused
    const char* failure = "";          // part of the refusal's text
    std::optional<std::string> gateway = std::nullopt;
    // The addresses passed over, "ADDRESS REASON" each, when the case says.
    std::optional<std::vector<std::string>> skipped = std::nullopt;
};

TEST(Planner, AssignsUpwardSkippingWhatIsTakenAndRefusesWhatCannotBe)
{
    const std::vector<PlanCase> cases{
        {"in order from the start", {3, 1, 2}, "198.18.1.50", "255.255.255.0", {}, {"198.18.1.50", "198.18.1.51", "198.18.1.52"}},
        {"skips where another device answers and what it reports",
         {1, 2, 3},
         "198.18.1.50",
         "255.255.255.0",
         {Heard(9, "198.18.1.51"), Heard(8, "192.168.0.1", "198.18.1.53")},
         {"198.18.1.50", "198.18.1.52", "198.18.1.54"}},
        // No device moves onto an address another one holds during the
        // run: a shift or a swap would put two devices on one address.
        {"no device of the plan takes another's address",
         {1, 2},
         "198.18.1.50",
         "255.255.255.0",
         {Heard(2, "198.18.1.50"), Heard(1, "198.18.1.51")},
         {"198.18.1.51", "198.18.1.52"},
         "",
         std::nullopt,
         std::vector<std::string>{"198.18.1.50 held by 02:00:00:00:00:02"}},
        {"but a device may keep its own",
         {2, 1},
         "198.18.1.50",
         "255.255.255.0",
         {Heard(2, "198.18.1.50")},
         {"198.18.1.50", "198.18.1.51"}},
        {"never the gateway", {1, 2}, "198.18.1.1", "255.255.255.0", {}, {"198.18.1.2", "198.18.1.3"}, "",
         "198.18.1.1", std::vector<std::string>{"198.18.1.1 the gateway"}},
        {"a gateway outside the network", {1}, "198.18.1.5", "255.255.255.0", {}, {},
         "The gateway 198.18.2.1 is outside the network 198.18.1.0/24", "198.18.2.1"},
        {"a blank gateway takes no address", {1}, "198.18.1.5", "255.255.255.0", {}, {"198.18.1.5"}, "", ""},
        {"skips the network address", {1}, "198.18.1.0", "255.255.255.0", {}, {"198.18.1.1"}},
        {"skips the broadcast address into the end of the network",
         {1, 2},
         "198.18.1.254",
         "255.255.255.0",
         {},
         {},
         "no address left for 02:00:00:00:00:02"},
        {"exactly up to the last host", {1, 2}, "198.18.1.253", "255.255.255.0", {}, {"198.18.1.253", "198.18.1.254"}},
        {"a wider netmask crosses octets, past what the address control refuses",
         {1, 2},
         "198.18.1.254",
         "255.255.0.0",
         {},
         {"198.18.1.254", "198.18.2.0"}},
        {"taken addresses at the end run it out",
         {1, 2},
         "198.18.1.253",
         "255.255.255.0",
         {Heard(9, "198.18.1.254")},
         {},
         "no address left"},
        {"no netmask: the network of the first device's interface",
         {1, 2},
         "198.18.1.254",
         std::nullopt,
         {Heard(1, "192.168.1.1"), Heard(2, "192.168.1.1")},
         {},
         "198.18.1.0/24"},
        {"no netmask: the start outside that network",
         {1},
         "198.19.0.5",
         std::nullopt,
         {Heard(1, "192.168.1.1")},
         {},
         "is not in the network 198.18.1.0/24 of eth0"},
        {"no netmask and nobody answered", {1}, "198.18.1.5", std::nullopt, {}, {}, "give the netmask"},
        {"a device listed twice", {1, 2, 1}, "198.18.1.5", "255.255.255.0", {}, {}, "02:00:00:00:00:01 is listed twice"},
        {"the start refused as the dialog would", {1}, "198.18.1.256", "255.255.255.0", {}, {}, "Invalid IP Address!"},
        {"the netmask refused as the dialog would", {1}, "198.18.1.5", "255.0.255.0", {}, {}, "Invalid Netmask!"},
        {"a /31 is no LAN", {1}, "198.18.1.5", "255.255.255.254", {}, {}, "no network prefix from /8 to /30"},
        {"nor is 0.0.0.0", {1}, "198.18.1.5", "0.0.0.0", {}, {}, "no network prefix from /8 to /30"},
        {"nor a /7", {1}, "198.18.1.5", "254.0.0.0", {}, {}, "no network prefix from /8 to /30"},
        {"a /8 and a /30 are", {1, 2}, "10.0.0.1", "255.0.0.0", {}, {"10.0.0.1", "10.0.0.2"}},
        {"the /30's two hosts", {1, 2}, "198.18.1.4", "255.255.255.252", {}, {"198.18.1.5", "198.18.1.6"}},
        {"no devices", {}, "198.18.1.5", "255.255.255.0", {}, {}, "No device"},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.name);
        PlanRequest request;
        for (int mac : c.macs)
            request.macs.push_back(Mac(mac));
        request.start = c.start;
        request.netmask = c.netmask;
        request.gateway = c.gateway;
        const PlanResult result = MakePlan(request, c.heard);
        if (c.expected.empty()) {
            EXPECT_FALSE(result.Planned());
            EXPECT_NE(result.failure.find(c.failure), std::string::npos) << result.failure;
            EXPECT_TRUE(result.rows.empty());
            continue;
        }
        ASSERT_TRUE(result.Planned()) << result.failure;
        ASSERT_EQ(result.rows.size(), c.expected.size());
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(result.rows[i].mac, request.macs[i]);
            EXPECT_EQ(result.rows[i].ip, c.expected[i]);
        }
        if (c.skipped) {
            std::vector<std::string> skipped;
            for (const SkippedAddress& address : result.skipped)
                skipped.push_back(address.address + " " + address.reason);
            EXPECT_EQ(skipped, *c.skipped);
        }
    }
}

// Another host on the segment (a printer, a computer) holds an address the
// discovery never hears of; the neighbour table tells, and the plan passes
// over it. An address a heard device answers from is the device's, whatever
// MAC answered its address resolution.
TEST(Planner, SkipsWhatOtherHostsOnTheSegmentHold)
{
    std::istringstream table("IP address       HW type     Flags       HW address            Mask     Device\n"
                             "198.18.1.51      0x1         0x2         3c:2a:f4:00:00:01     *        eth0\n"
                             "198.18.1.52      0x1         0x0         00:00:00:00:00:00     *        eth0\n"
                             "198.18.1.53      0x1         0x2         02:00:00:00:00:99     *        eth0\n"
                             "198.18.1.54      0x1         0x2         not-a-mac             *        eth0\n"
                             "a short line\n");
    const std::vector<Neighbour> hosts = ParseNeighbourTable(table);
    ASSERT_EQ(hosts.size(), 2u) << "only the resolved entries with a MAC";
    EXPECT_EQ(hosts[0].interfaceName, "eth0");

    PlanRequest request;
    request.macs = {Mac(1), Mac(2), Mac(3)};
    request.start = "198.18.1.50";
    request.netmask = "255.255.255.0";
    const std::vector<HeardDevice> heard{Heard(9, "198.18.1.53")};
    const PlanResult result = MakePlan(request, heard, {}, hosts);
    ASSERT_TRUE(result.Planned()) << result.failure;
    EXPECT_EQ(result.rows[0].ip, "198.18.1.50");
    EXPECT_EQ(result.rows[1].ip, "198.18.1.52") << "unresolved: free";
    EXPECT_EQ(result.rows[2].ip, "198.18.1.54");
    ASSERT_EQ(result.skipped.size(), 2u);
    EXPECT_EQ(result.skipped[0].reason, "held by another host (3C:2A:F4:00:00:01)");
    EXPECT_EQ(result.skipped[1].reason, "held by 02:00:00:00:00:09");
}

// What apply checks in a plan file beside the dialog's rules: a netmask that
// makes a LAN and a gateway inside each row's network.
TEST(PlanFile, RowsNeedALanAndTheirGatewayInIt)
{
    const std::vector<PlanRow> rows{
        {Mac(1), "198.18.1.50", "255.255.255.0", "198.18.1.1", false},
        {Mac(2), "198.18.1.51", "255.255.255.254", std::nullopt, std::nullopt},
        {Mac(3), "198.18.1.52", "255.255.255.0", "198.18.2.1", std::nullopt},
        {Mac(4), "198.18.1.53", "255.255.255.0", "198.18.1.53", std::nullopt},
        {Mac(5), "198.18.1.54", std::nullopt, "198.18.9.9", std::nullopt},
    };
    const std::vector<std::string> failures = CheckPlan(rows);
    ASSERT_EQ(failures.size(), rows.size());
    EXPECT_EQ(failures[0], "");
    EXPECT_EQ(failures[1], "The netmask 255.255.255.254 is no network prefix from /8 to /30.");
    EXPECT_EQ(failures[2], "The gateway 198.18.2.1 is outside the network of 198.18.1.52.");
    EXPECT_EQ(failures[3], "198.18.1.53 is the gateway.");
    EXPECT_EQ(failures[4], "") << "without a netmask the row's network is the device's own";
}

TEST(Planner, EveryRowCarriesTheSharedValuesAndSkipsTheComputersOwnAddress)
{
    PlanRequest request;
    request.macs = {Mac(1), Mac(2)};
    request.start = "198.18.1.1";
    request.gateway = "";
    request.dhcp = false;
    const std::vector<HeardDevice> heard{Heard(1, "192.168.1.1"), Heard(7, "198.18.1.3")};
    const std::uint32_t own[] = {Ip("198.18.1.1")};
    const PlanResult result = MakePlan(request, heard, own);
    ASSERT_TRUE(result.Planned()) << result.failure;
    EXPECT_EQ(result.rows[0], (PlanRow{Mac(1), "198.18.1.2", std::nullopt, "0.0.0.0", false}));
    EXPECT_EQ(result.rows[1], (PlanRow{Mac(2), "198.18.1.4", std::nullopt, "0.0.0.0", false}));
    EXPECT_EQ(result.unheard, std::vector<std::string>{Mac(2)});
}

TEST(PlanFile, RoundTripsAndLeavesEmptyCells)
{
    const std::vector<PlanRow> rows{{Mac(1), "198.18.1.50", "255.255.255.0", std::nullopt, false},
                                    {Mac(2), std::nullopt, std::nullopt, "198.18.1.254", true},
                                    {Mac(3), "198.18.1.52", std::nullopt, std::nullopt, std::nullopt}};
    std::ostringstream out;
    WritePlanFile(out, rows);
    EXPECT_EQ(out.str(), "mac,ip,netmask,gateway,dhcp\n"
                         "02:00:00:00:00:01,198.18.1.50,255.255.255.0,,off\n"
                         "02:00:00:00:00:02,,,198.18.1.254,on\n"
                         "02:00:00:00:00:03,198.18.1.52,,,\n");
    std::istringstream in(out.str());
    std::vector<PlanFileRow> read;
    std::string error;
    ASSERT_TRUE(ReadPlanFile(in, read, error)) << error;
    ASSERT_EQ(read.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(read[i].row, rows[i]);
        EXPECT_EQ(read[i].line, static_cast<int>(i) + 2);
        EXPECT_EQ(read[i].problem, "");
    }
}

TEST(PlanFile, ReadsWhatPeopleAndEditorsWrite)
{
    struct Case {
        const char* name;
        const char* text;
        bool whole;                       // the file reads as a plan
        std::vector<const char*> problem; // per row
    };
    const std::vector<Case> cases{
        {"CRLF, a byte order mark, lower-case MAC, quoted cells, blank lines",
         "\xEF\xBB\xBFmac,ip,netmask,gateway,dhcp\r\n02:00:00:00:00:0a,\"198.18.1.5\",,,ON\r\n\r\n",
         true,
         {""}},
        {"a wrong cell count and a bad dhcp cell are that row's problem",
         "mac,ip,netmask,gateway,dhcp\n02:00:00:00:00:01,198.18.1.5\n02:00:00:00:00:02,,,,yes\n",
         true,
         {"line 2 has 2 cells; a plan row has 5", "the dhcp cell is on, off or empty, not yes"}},
        {"another header", "mac,ip\n02:00:00:00:00:01,198.18.1.5\n", false, {}},
        {"empty", "", false, {}},
        {"an unclosed quote", "mac,ip,netmask,gateway,dhcp\n02:00:00:00:00:01,\"198.18.1.5,,,\n", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::istringstream in(c.text);
        std::vector<PlanFileRow> rows;
        std::string error;
        ASSERT_EQ(ReadPlanFile(in, rows, error), c.whole) << error;
        if (!c.whole) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        ASSERT_EQ(rows.size(), c.problem.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i].problem, c.problem[i]);
    }
    std::istringstream in("mac,ip,netmask,gateway,dhcp\n02:00:00:00:00:0a,\"198.18.1.5\",,,ON\n");
    std::vector<PlanFileRow> rows;
    std::string error;
    ASSERT_TRUE(ReadPlanFile(in, rows, error));
    EXPECT_EQ(rows[0].row, (PlanRow{"02:00:00:00:00:0A", "198.18.1.5", std::nullopt, std::nullopt, true}));
}

TEST(PlanFile, EveryRowIsCheckedWithTheDialogsRulesAndMessages)
{
    struct Case {
        PlanRow row;
        const char* failure;
    };
    const std::vector<Case> cases{
        {{Mac(1), "198.18.1.5", "255.255.0.0", "198.18.0.254", false}, ""},
        {{Mac(2), std::nullopt, std::nullopt, std::nullopt, true}, ""},
        {{Mac(3), "0.18.1.5", std::nullopt, std::nullopt, std::nullopt}, "Invalid IP Address!"},
        {{Mac(4), "198.18.1.255", std::nullopt, std::nullopt, std::nullopt}, "Invalid IP Address!"},
        {{Mac(5), "198.18.1", std::nullopt, std::nullopt, std::nullopt}, "Invalid IP Address!"},
        {{Mac(6), "198.18.1.6", "255.255.0.255", std::nullopt, std::nullopt}, "Invalid Netmask!"},
        {{Mac(7), "198.18.1.7", std::nullopt, "240.0.0.1", std::nullopt}, "Invalid Gateway Address!"},
        {{Mac(8), std::nullopt, std::nullopt, std::nullopt, std::nullopt}, "No change is made!"},
        {{"02:00:00:00:00", "198.18.1.9", std::nullopt, std::nullopt, std::nullopt},
         "MAC address must look like 00:0A:FF:10:2B:C4: 02:00:00:00:00"},
        {{"00:00:00:00:00:00", "198.18.1.9", std::nullopt, std::nullopt, std::nullopt},
         "MAC address 00:00:00:00:00:00 names no single device"},
        // Blank in the file is "leave"; a gateway of none is written 0.0.0.0.
        {{Mac(9), std::nullopt, std::nullopt, "0.0.0.0", std::nullopt}, ""},
    };
    std::vector<PlanRow> rows;
    for (const Case& c : cases)
        rows.push_back(c.row);
    const std::vector<std::string> failures = CheckPlan(rows);
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(failures[i], cases[i].failure) << cases[i].row.mac;
}

TEST(PlanFile, OneAddressTwiceOrOneDeviceTwiceRefusesBothRows)
{
    const std::vector<PlanRow> rows{{Mac(1), "198.18.1.5", std::nullopt, std::nullopt, std::nullopt},
                                    {Mac(2), "198.18.1.6", std::nullopt, std::nullopt, std::nullopt},
                                    {Mac(3), "198.18.1.005", std::nullopt, std::nullopt, std::nullopt},
                                    {Mac(2), "198.18.1.7", std::nullopt, std::nullopt, std::nullopt}};
    const std::vector<std::string> failures = CheckPlan(rows);
    EXPECT_EQ(failures[0], "198.18.1.5 is planned for 02:00:00:00:00:03 too.");
    EXPECT_EQ(failures[2], "198.18.1.5 is planned for 02:00:00:00:00:01 too.");
    EXPECT_EQ(failures[1], "02:00:00:00:00:02 is listed twice.");
    EXPECT_EQ(failures[3], "02:00:00:00:00:02 is listed twice.");
}

} // namespace
} // namespace pemblor
