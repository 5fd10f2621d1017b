#include "ctl/Writers.h"
#include "format/DelimitedRow.h"
#include "format/SafeText.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>

namespace pemblor {
namespace {

// An SSID is whatever a host on the LAN sends. In no format may it drive the
// terminal (C0 and C1 controls), break a line or a record, or become a
// spreadsheet formula in a CSV file or pasted cells.
TEST(SafeOutput, HostileSsidsInEveryFormat)
{
    struct Case {
        std::string ssid;
        std::string shown; // in the table, and the CSV/TSV cell before any leading "'"
        bool formula;
    };
    const Case cases[] = {
        {"lobby\x1B[2J", "lobby?[2J", false},
        {"bell\x07", "bell?", false},
        {"csi\xC2\x9B" "31m", "csi?31m", false},   // C1 CSI, valid UTF-8
        {"nel\xC2\x85" "x", "nel?x", false},        // C1 NEL
        {"B\xC3\xBCro \xE2\x82\xAC", "B\xC3\xBCro \xE2\x82\xAC", false}, // kept as it is
        {"bad\xFF\xC2", "bad\xEF\xBF\xBD\xEF\xBF\xBD", false},
        {"+HYPERLINK(\"http://x\";\"y\")", "+HYPERLINK(\"http://x\";\"y\")", true},
        {"-2+3", "-2+3", true},
        {"@SUM(A1)", "@SUM(A1)", true},
        {"\tlead", "?lead", true},
        {"\rlead", "?lead", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        FoundDevice device;
        device.mac = "02:00:00:AA:00:01";
        device.ip = "198.18.1.2";
        device.ssid = c.ssid;

        std::ostringstream table;
        DeviceWriter(table, OutputFormat::Table).Device(device);
        EXPECT_NE(table.str().find(c.shown), std::string::npos) << table.str();

        const std::string cell = (c.formula ? "'" : "") + c.shown;
        std::string quoted = cell;
        if (cell.find('"') != std::string::npos) {
            quoted = "\"";
            for (const char ch : cell)
                quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
            quoted += '"';
        }
        std::ostringstream csv;
        DeviceWriter(csv, OutputFormat::Csv).Device(device);
        const std::string record = csv.str().substr(csv.str().find('\n') + 1);
        EXPECT_NE(record.find("," + quoted), std::string::npos) << record;
        EXPECT_EQ(record.find('\n'), record.size() - 1);

        const std::string_view fields[] = {c.ssid, "x"};
        EXPECT_EQ(TsvRow(fields), cell + "\tx\n");

        std::ostringstream json;
        DeviceWriter(json, OutputFormat::Json).Device(device);
        for (const char c0 : json.str().substr(0, json.str().size() - 1))
            EXPECT_GE(static_cast<unsigned char>(c0), 0x20) << json.str();
        EXPECT_EQ(json.str().find("\xC2\x9B"), std::string::npos);
        EXPECT_EQ(json.str().find("\xC2\x85"), std::string::npos);
        // JSON keeps the text itself, escaped, with invalid bytes replaced.
        const auto object = nlohmann::json::parse(json.str());
        EXPECT_EQ(SafeText(object["ssid"].get<std::string>()), c.shown);
    }
}

} // namespace
} // namespace pemblor
