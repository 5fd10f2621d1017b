#include "ctl/DeviceWriter.h"
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
        {{"two\nlines", "x"}, "\"two\nlines\",x\n", "two lines\tx\n"},
        {{"cr\rhere"}, "\"cr\rhere\"\n", "cr here\n"},
        {{" padded "}, "\" padded \"\n", " padded \n"},
        {{"tab\there"}, "tab\there\n", "tab here\n"},
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
    EXPECT_NE(table.str().find("caf\xE9?[2J"), std::string::npos);
}

TEST(DeviceWriter, CsvHasAHeaderAndQuotesTheSsid)
{
    std::ostringstream out;
    DeviceWriter writer(out, OutputFormat::Csv);
    writer.Device(Sample());
    EXPECT_EQ(out.str(), "mac,ssid,ip,ip_addr,netmask,channel\n"
                         "02:00:00:AA:00:01,\"lab, \"\"north\"\"\",10.0.0.11,10.0.0.99,255.255.255.0,6\n");
}

TEST(DeviceWriter, DetailReadsDhcpAsTheDialogDoes)
{
    DeviceDetail detail{"02:00:00:AA:00:01", "10.0.0.11", "10.0.0.11", "255.0.0.0", "0.0.0.0", "1"};
    std::ostringstream json;
    WriteDetail(json, OutputFormat::Json, detail);
    EXPECT_EQ(json.str(), "{\"mac\":\"02:00:00:AA:00:01\",\"ip\":\"10.0.0.11\",\"ip_addr\":\"10.0.0.11\","
                          "\"netmask\":\"255.0.0.0\",\"gateway\":\"0.0.0.0\",\"dhcp\":true}\n");
}

} // namespace
} // namespace pemblor
