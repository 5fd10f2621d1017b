#include "ctl/ExitCode.h"
#include "tests/ctl/CtlRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace pemblor {
namespace {

// `undo` of pemblorctl: on apply's own results (on the fake network), on
// written results, and on files that are none.
class UndoCtl : public CtlRig {
protected:
    static std::string FileWith(const std::string& name, const std::string& text)
    {
        const std::string path = ::testing::TempDir() + "/" + name;
        std::ofstream(path) << text;
        return path;
    }

    // The lines of `text` after its header, sorted: apply prints its devices
    // as they end.
    static std::string Sorted(const std::string& text)
    {
        std::istringstream in(text);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line + "\n");
        if (!lines.empty())
            std::sort(lines.begin() + 1, lines.end());
        std::string sorted;
        for (const std::string& line : lines)
            sorted += line;
        return sorted;
    }

    Result Apply(const std::string& plan, const char* format)
    {
        return Run({"apply", plan.c_str(), "--user", "admin", "--password-stdin", "--reboot", "--format", format},
                   "admin\n");
    }
};

constexpr const char* BackPlan = "mac,ip,netmask,gateway,dhcp\n"
                                 "02:00:00:AA:00:01,10.0.0.11,255.255.255.0,10.0.0.254,off\n"
                                 "02:00:00:AA:00:02,10.0.0.12,255.255.255.0,10.0.0.254,off\n";

// Both result formats of apply give the plan back, and applying it puts
// every device back where it was, verified.
TEST_F(UndoCtl, ThePlanBackOfAnApplyPutsEveryDeviceBack)
{
    const auto a = Start(Device(1, "10.0.0.11"));
    const auto b = Start(Device(2, "10.0.0.12"));
    const std::string away = FileWith("away.csv", "mac,ip,netmask,gateway,dhcp\n"
                                                  "02:00:00:AA:00:01,10.0.0.50,,,\n"
                                                  "02:00:00:AA:00:02,10.0.0.60,255.255.0.0,,\n");
    for (const char* format : {"json", "csv"}) {
        const Result moved = Apply(away, format);
        ASSERT_EQ(moved.status, ExitOk) << moved.err;
        const Result undo = Run({"undo", FileWith(std::string("result.") + format, moved.out).c_str()});
        ASSERT_EQ(undo.status, ExitOk) << undo.err;
        EXPECT_EQ(Sorted(undo.out), BackPlan) << format;
        EXPECT_EQ(undo.err, "");

        const Result back = Apply(FileWith("back.csv", undo.out), "csv");
        ASSERT_EQ(back.status, ExitOk) << back.err;
        EXPECT_NE(back.out.find("02:00:00:AA:00:01,verified,10.0.0.11,"), std::string::npos) << back.out;
        EXPECT_NE(back.out.find("02:00:00:AA:00:02,verified,10.0.0.12,"), std::string::npos) << back.out;
    }
}

// Every outcome of a result, in the JSON of apply and in the CSV of "Export
// result...": what may have changed is put back, what certainly did not is
// left out and counted, and a shared before address is left out and named.
TEST_F(UndoCtl, PutsBackWhatMayHaveChangedAndSaysWhatItLeftOut)
{
    auto json = [](const char* mac, const char* result, const char* before) {
        return std::string("{\"mac\":\"") + mac + "\",\"result\":\"" + result + "\",\"ip\":null,\"before\":" + before +
               ",\"after\":null}\n";
    };
    auto csv = [](const char* mac, const char* result, const char* before) {
        return std::string(mac) + "," + result + ",," + before + ",,,,,\n";
    };
    struct Row {
        const char* mac;
        const char* result;
        const char* jsonBefore;
        const char* csvBefore;
    };
    const Row rows[] = {
        {"02:00:00:aa:00:01", "verified", R"({"ip":"10.0.0.11","netmask":"255.255.255.0","gateway":"10.0.0.1","dhcp":false})",
         "10.0.0.11,255.255.255.0,10.0.0.1,off"},
        {"02:00:00:AA:00:02", "authentication-error", R"({"ip":"10.0.0.12","netmask":"255.255.0.0","gateway":"0.0.0.0","dhcp":true})",
         "10.0.0.12,255.255.0.0,0.0.0.0,on"},
        {"02:00:00:AA:00:03", "not-verified", R"({"ip":"192.168.1.1","netmask":"255.255.255.0","gateway":"","dhcp":false})",
         "192.168.1.1,255.255.255.0,,off"},
        {"02:00:00:AA:00:04", "unchanged", R"({"ip":"192.168.1.1","netmask":"255.255.255.0","gateway":"","dhcp":false})",
         "192.168.1.1,255.255.255.0,,off"},
        {"02:00:00:AA:00:05", "would-change", R"({"ip":"10.0.0.15","netmask":"255.255.255.0","gateway":"","dhcp":false})",
         "10.0.0.15,255.255.255.0,,off"},
        {"02:00:00:AA:00:06", "timeout", "null", ",,,"},
        {"02:00:00:AA:00:07", "timeout", R"({"ip":"10.0.0.17","netmask":"255.255.255.0","gateway":"","dhcp":false})",
         "10.0.0.17,255.255.255.0,,off"},
        {"02:00:00:AA:00:08", "invalid", "null", ",,,"},
        {"02:00:00:AA:00:09", "stored", R"({"ip":"10.0.0.19","netmask":"255.255.255.0","gateway":"","dhcp":false})",
         "10.0.0.19,255.255.255.0,,off"},
    };
    std::string jsonText, csvText =
        "mac,result,ip,before_ip,before_netmask,before_gateway,before_dhcp,after_ip,after_netmask,after_gateway,"
        "after_dhcp,message\n";
    for (const Row& row : rows) {
        jsonText += json(row.mac, row.result, row.jsonBefore);
        csvText += csv(row.mac, row.result, row.csvBefore);
    }
    const std::string expected = "mac,ip,netmask,gateway,dhcp\n"
                                 "02:00:00:AA:00:01,10.0.0.11,255.255.255.0,10.0.0.1,off\n"
                                 "02:00:00:AA:00:02,10.0.0.12,255.255.0.0,0.0.0.0,on\n"
                                 "02:00:00:AA:00:07,10.0.0.17,255.255.255.0,,off\n"
                                 "02:00:00:AA:00:09,10.0.0.19,255.255.255.0,,off\n";
    const std::string told = "pemblorctl: 02:00:00:AA:00:03 left out: 02:00:00:AA:00:04 had 192.168.1.1 before too, "
                             "and a plan gives each address once\n"
                             "pemblorctl: 5 of 9 devices left out: 4 took no change (unchanged, would-change, "
                             "invalid, not-found or never read), 1 had a before address another device had too\n";
    for (const auto& [name, text] : {std::pair{"mixed.json", jsonText}, std::pair{"mixed.csv", csvText}}) {
        const Result undo = Run({"undo", FileWith(name, text).c_str()});
        ASSERT_EQ(undo.status, ExitOk) << name << ": " << undo.err;
        EXPECT_EQ(undo.out, expected) << name;
        EXPECT_EQ(undo.err, told) << name;
    }
    const Result table = Run({"undo", FileWith("mixed.json", jsonText).c_str(), "--format", "table"});
    EXPECT_NE(table.out.find("02:00:00:AA:00:02 10.0.0.12       255.255.0.0     0.0.0.0         on\n"),
              std::string::npos)
        << table.out;
}

TEST_F(UndoCtl, RefusesAFileThatIsNoResultNamingTheLine)
{
    const std::string header = "mac,result,ip,before_ip,before_netmask,before_gateway,before_dhcp\n";
    const std::string verified = R"({"mac":"02:00:00:AA:00:01","result":"verified","ip":"10.0.0.50",)"
                                 R"("before":{"ip":"10.0.0.11","netmask":"255.255.255.0","gateway":"","dhcp":false}})"
                                 "\n";
    struct Case {
        const char* name;
        std::string text;
        const char* err;
    };
    const Case cases[] = {
        {"plan.csv", "mac,ip,netmask,gateway,dhcp\n02:00:00:AA:00:01,10.0.0.5,,,\n",
         "plan.csv: line 1 is neither the header of an apply result in CSV (with the column result)"},
        {"table.txt", "MAC ADDRESS       RESULT\n", "table.txt: line 1 is neither the header"},
        {"broken.json", verified + "{\"mac\":\n", "broken.json: line 2 is not a JSON object"},
        {"nomac.json", "\n" + verified + "{\"result\":\"verified\"}\n", "nomac.json: line 3 has no mac and result"},
        {"nobefore.json", verified + R"({"mac":"02:00:00:AA:00:02","result":"verified","before":null})" "\n",
         "nobefore.json: line 2: 02:00:00:AA:00:02 (verified) has no before address and netmask to put back"},
        {"nobefore.csv", header + "02:00:00:AA:00:02,stored,10.0.0.5,,,,\n",
         "nobefore.csv: line 2: 02:00:00:AA:00:02 (stored) has no before address and netmask"},
        {"cells.csv", header + "02:00:00:AA:00:01,verified,10.0.0.5,10.0.0.11,255.0.0.0,,off\n02:00:00:AA:00:02,x\n",
         "cells.csv: line 3 has 2 cells; the header 7"},
        {"dhcp.csv", header + "02:00:00:AA:00:01,verified,10.0.0.5,10.0.0.11,255.0.0.0,,yes\n",
         "dhcp.csv: line 2: the before_dhcp cell is on, off or empty, not yes"},
        {"unknown.json", R"({"mac":"02:00:00:AA:00:01","result":"moved"})" "\n",
         "unknown.json: line 1: 02:00:00:AA:00:01 has the unknown result moved"},
        {"empty.json", " \n\n", "empty.json: the file is empty"},
    };
    for (const Case& c : cases) {
        const Result undo = Run({"undo", FileWith(c.name, c.text).c_str()});
        EXPECT_EQ(undo.status, ExitUsage) << c.name;
        EXPECT_EQ(undo.out, "") << c.name;
        EXPECT_NE(undo.err.find(c.err), std::string::npos) << c.name << ": " << undo.err;
    }
    const Result missing = Run({"undo", "/nonexistent/result.json"});
    EXPECT_EQ(missing.status, ExitUsage);
    EXPECT_EQ(missing.err, "pemblorctl: cannot read the result /nonexistent/result.json: No such file or directory\n");
}

} // namespace
} // namespace pemblor
