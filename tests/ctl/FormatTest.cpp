#include "common/OutcomeText.h"
#include "ctl/Writers.h"
#include "format/DelimitedRow.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <vector>

namespace pemblor {
namespace {

TEST(DelimitedRow, QuotesOnlyWhatNeedsIt)
{
    struct Case {
        std::vector<std::string_view> fields;
        std::string csv;
        std::string tsv;
    };
    const Case cases[] = {
        {{"a", "b"}, "a,b\n", "a\tb\n"},
        {{"", ""}, ",\n", "\t\n"},
        {{"office, 2nd floor"}, "\"office, 2nd floor\"\n", "office, 2nd floor\n"},
        {{"say \"hi\""}, "\"say \"\"hi\"\"\"\n", "say \"hi\"\n"},
        {{"two\nlines", "x"}, "two?lines,x\n", "two?lines\tx\n"},
        {{"cr\rhere"}, "cr?here\n", "cr?here\n"},
        {{" padded "}, "\" padded \"\n", " padded \n"},
        {{"tab\there"}, "tab?here\n", "tab?here\n"},
        {{"=1+1"}, "=1+1\n", "=1+1\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CsvRow(c.fields), c.csv) << c.csv;
        EXPECT_EQ(TsvRow(c.fields), c.tsv) << c.tsv;
    }
}

FoundDevice Sample()
{
    FoundDevice device;
    device.mac = "02:00:00:AA:00:01";
    device.ssid = "lab, \"north\"";
    device.ip = "10.0.0.11";
    device.ipAddr = "10.0.0.99";
    device.netmask = "255.255.255.0";
    device.channel = "6";
    return device;
}

TEST(DeviceWriter, JsonLinesCarryEveryFieldAndNullForMissingOnes)
{
    std::ostringstream out;
    DeviceWriter writer(out, OutputFormat::Json);
    FoundDevice device = Sample();
    writer.Device(device);
    device.mac = "02:00:00:AA:00:02";
    device.ssid.reset();
    device.channel.reset();
    writer.Device(device);

    std::istringstream lines(out.str());
    std::string line;
    std::vector<nlohmann::json> objects;
    while (std::getline(lines, line))
        objects.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]["mac"], "02:00:00:AA:00:01");
    EXPECT_EQ(objects[0]["ssid"], "lab, \"north\"");
    EXPECT_EQ(objects[0]["ip"], "10.0.0.11");
    EXPECT_EQ(objects[0]["ip_addr"], "10.0.0.99");
    EXPECT_EQ(objects[0]["netmask"], "255.255.255.0");
    EXPECT_EQ(objects[0]["channel"], "6");
    EXPECT_FALSE(objects[0].contains("interface"));
    EXPECT_TRUE(objects[1]["ssid"].is_null());
    EXPECT_TRUE(objects[1]["channel"].is_null());
}

TEST(DeviceWriter, DeviceBytesThatAreNotUtf8OrPrintableCannotBreakTheOutput)
{
    FoundDevice device = Sample();
    device.ssid = std::string("caf\xE9\x1B[2J", 8);

    std::ostringstream json;
    DeviceWriter(json, OutputFormat::Json).Device(device);
    const auto object = nlohmann::json::parse(json.str());
    EXPECT_EQ(object["ssid"], "caf\xEF\xBF\xBD\x1B[2J");

    std::ostringstream table;
    DeviceWriter(table, OutputFormat::Table).Device(device);
    EXPECT_EQ(table.str().find('\x1B'), std::string::npos);
    EXPECT_NE(table.str().find("caf\xEF\xBF\xBD?[2J"), std::string::npos);
}

TEST(DeviceWriter, CsvHasAHeaderAndQuotesTheSsid)
{
    std::ostringstream out;
    DeviceWriter writer(out, OutputFormat::Csv);
    writer.Device(Sample());
    FoundDevice twice = Sample();
    twice.alsoAt = {"10.0.0.66", "10.0.0.67"};
    writer.Device(twice);
    EXPECT_EQ(out.str(), "mac,ssid,ip,ip_addr,netmask,channel,Also at\n"
                         "02:00:00:AA:00:01,\"lab, \"\"north\"\"\",10.0.0.11,10.0.0.99,255.255.255.0,6,\n"
                         "02:00:00:AA:00:01,\"lab, \"\"north\"\"\",10.0.0.11,10.0.0.99,255.255.255.0,6,"
                         "\"10.0.0.66, 10.0.0.67\"\n");
}

TEST(DeviceWriter, DetailReadsDhcpAsTheDialogDoes)
{
    const DeviceSettings detail{"10.0.0.11", "255.0.0.0", "0.0.0.0", "1"};
    std::ostringstream json;
    WriteDetail(json, OutputFormat::Json, "02:00:00:AA:00:01", "10.0.0.11", detail);
    EXPECT_EQ(json.str(), "{\"mac\":\"02:00:00:AA:00:01\",\"ip\":\"10.0.0.11\",\"ip_addr\":\"10.0.0.11\","
                          "\"netmask\":\"255.0.0.0\",\"gateway\":\"0.0.0.0\",\"dhcp\":true}\n");
}

// set/show/reboot print a job's report, apply a fleet outcome: the same
// device gives the same bytes either way.
TEST(OutcomeWriter, AJobReportAndAFleetOutcomeWriteTheSameObject)
{
    JobReport report;
    report.outcome = JobOutcome::Verified;
    report.address = "198.18.1.77";
    report.before = DeviceSettings{"198.18.1.20", "255.255.0.0", "198.18.0.254", "0"};
    report.after = DeviceSettings{"198.18.1.77", "255.255.0.0", "198.18.0.254", "0"};
    const DeviceOutcome outcome{"02:00:00:BB:00:01", JobOutcome::Verified, "198.18.1.77",
                                DeviceSettings{"198.18.1.20", "255.255.0.0", "198.18.0.254", "0"},
                                DeviceSettings{"198.18.1.77", "255.255.0.0", "198.18.0.254", "0"}, "", std::nullopt,
                                {}};
    const std::string expected =
        R"({"mac":"02:00:00:BB:00:01","result":"verified","ip":"198.18.1.77",)"
        R"("before":{"ip":"198.18.1.20","netmask":"255.255.0.0","gateway":"198.18.0.254","dhcp":false},)"
        R"("after":{"ip":"198.18.1.77","netmask":"255.255.0.0","gateway":"198.18.0.254","dhcp":false}})"
        "\n";
    std::ostringstream fromReport;
    std::ostringstream fromFleet;
    OutcomeWriter(fromReport, OutputFormat::Json).Outcome(OutcomeOf("02:00:00:BB:00:01", report));
    OutcomeWriter(fromFleet, OutputFormat::Json).Outcome(outcome);
    EXPECT_EQ(fromReport.str(), expected);
    EXPECT_EQ(fromFleet.str(), expected);
}

TEST(OutcomeWriter, WhatIsNotKnownIsNullInJsonAndEmptyInCsv)
{
    JobReport timedOut;
    timedOut.outcome = JobOutcome::Timeout;
    JobReport partial;
    partial.outcome = JobOutcome::Stored;
    partial.address = "198.18.1.20";
    partial.before = DeviceSettings{"198.18.1.20", std::nullopt, "198.18.0.254", std::nullopt};
    struct Case {
        JobReport report;
        std::string json;
        std::string csv;
    };
    const Case cases[] = {
        {timedOut,
         R"({"mac":"02:00:00:BB:00:01","result":"timeout","ip":null,"before":null,"after":null,)"
         R"("message":"Time Out!"})",
         "02:00:00:BB:00:01,timeout,,,,,,,,,,Time Out!"},
        {partial,
         R"({"mac":"02:00:00:BB:00:01","result":"stored","ip":"198.18.1.20",)"
         R"("before":{"ip":"198.18.1.20","netmask":null,"gateway":"198.18.0.254","dhcp":null},"after":null})",
         "02:00:00:BB:00:01,stored,198.18.1.20,198.18.1.20,,198.18.0.254,,,,,,"},
    };
    for (const Case& c : cases) {
        const DeviceOutcome record = OutcomeOf("02:00:00:BB:00:01", c.report);
        std::ostringstream json;
        std::ostringstream csv;
        OutcomeWriter(json, OutputFormat::Json).Outcome(record);
        OutcomeWriter(csv, OutputFormat::Csv).Outcome(record);
        EXPECT_EQ(json.str(), c.json + "\n");
        EXPECT_EQ(csv.str().substr(csv.str().find('\n') + 1), c.csv + "\n");
    }
}

} // namespace
} // namespace pemblor
