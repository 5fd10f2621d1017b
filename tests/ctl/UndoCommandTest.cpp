#include "ctl/ExitCode.h"
#include "tests/ctl/CtlRig.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <vector>

namespace pemblor {
namespace {

// `undo` of pemblorctl on written apply results (the lab case "undo" puts a
// fleet back with it).
class UndoCtl : public CtlRig {
protected:
    Result Undo(const std::string& name, const std::string& text, const char* format = "csv")
    {
        const std::string path = ::testing::TempDir() + "/" + name;
        std::ofstream(path) << text;
        return Run({"undo", path.c_str(), "--format", format});
    }
};

// Each outcome, in apply's JSON and in its CSV (the columns "Export
// result..." writes too): what may have changed goes back, a shared before
// address is left out and named, the rest is counted.
TEST_F(UndoCtl, PutsBackWhatMayHaveChangedAndSaysWhatItLeftOut)
{
    // MAC's last byte, result, before ip, netmask, gateway, dhcp ("" all: never read).
    const std::vector<std::array<std::string, 6>> rows = {
        {"01", "verified", "10.0.0.11", "255.255.255.0", "10.0.0.1", "off"},
        {"02", "authentication-error", "10.0.0.12", "255.255.0.0", "0.0.0.0", "on"},
        {"03", "not-verified", "192.168.1.1", "255.255.255.0", "", "off"},
        {"04", "unchanged", "192.168.1.1", "255.255.255.0", "", "off"},
        {"05", "timeout", "", "", "", ""},
        {"06", "would-change", "10.0.0.16", "255.255.255.0", "", "off"},
    };
    std::string json, csv = "mac,result,ip,before_ip,before_netmask,before_gateway,before_dhcp,message\n";
    for (const auto& [mac, result, ip, netmask, gateway, dhcp] : rows) {
        const std::string before = ip.empty() ? "null" : R"({"ip":")" + ip + R"(","netmask":")" + netmask +
                                   R"(","gateway":")" + gateway + R"(","dhcp":)" + (dhcp == "on" ? "true}" : "false}");
        json += R"({"mac":"02:00:00:aa:00:)" + mac + R"(","result":")" + result + R"(","before":)" + before + "}\n";
        csv += "02:00:00:aa:00:" + mac + "," + result + ",," + ip + "," + netmask + "," + gateway + "," + dhcp + ",\n";
    }
    for (const auto& [name, text] : {std::pair{"mixed.json", json}, std::pair{"mixed.csv", csv}}) {
        const Result undo = Undo(name, text);
        ASSERT_EQ(undo.status, ExitOk) << name << ": " << undo.err;
        EXPECT_EQ(undo.out, "mac,ip,netmask,gateway,dhcp\n"
                            "02:00:00:AA:00:01,10.0.0.11,255.255.255.0,10.0.0.1,off\n"
                            "02:00:00:AA:00:02,10.0.0.12,255.255.0.0,0.0.0.0,on\n")
            << name;
        EXPECT_EQ(undo.err, "pemblorctl: 02:00:00:AA:00:03 left out: 02:00:00:AA:00:04 had 192.168.1.1 before too, "
                            "and a plan gives each address once\n"
                            "pemblorctl: 4 of 6 devices left out: 3 took no change (unchanged, would-change, "
                            "invalid, not-found or never read), 1 had a before address another device had too\n")
            << name;
    }
    EXPECT_NE(Undo("mixed.json", json, "table").out.find("02:00:00:AA:00:02 10.0.0.12       255.255.0.0     0.0.0.0 "),
              std::string::npos);
}

TEST_F(UndoCtl, RefusesAFileThatIsNoResultNamingTheLine)
{
    const std::string header = "mac,result,ip,before_ip,before_netmask,before_gateway,before_dhcp\n";
    const std::string verified = R"({"mac":"02:00:00:AA:00:01","result":"verified","ip":"10.0.0.50",)"
                                 R"("before":{"ip":"10.0.0.11","netmask":"255.255.255.0","gateway":"","dhcp":false}})"
                                 "\n";
    const std::pair<std::string, const char*> cases[] = {
        {"mac,ip,netmask,gateway,dhcp\n", "line 1 is neither the header of an apply result in CSV (with the column "
                                          "result) nor a JSON outcome"},
        {"\n" + verified + "{\"mac\":\n", "line 3 is not a JSON object"},
        {verified + R"({"mac":"02:00:00:AA:00:02","result":"verified","before":null})",
         "line 2: 02:00:00:AA:00:02 (verified) has no before address and netmask to put back"},
        {header + "02:00:00:AA:00:02,stored,10.0.0.5,,,,\n02:00:00:AA:00:03,x\n", "line 3 has 2 cells; the header 7"},
        {header + "02:00:00:AA:00:01,verified,10.0.0.5,10.0.0.11,255.0.0.0,,yes\n",
         "line 2: the before_dhcp cell is on, off or empty, not yes"},
        {R"({"mac":"02:00:00:AA:00:01","result":"moved"})", "line 1: 02:00:00:AA:00:01 has the unknown result moved"},
        {" \n", "the file is empty"},
    };
    for (const auto& [text, err] : cases) {
        const Result undo = Undo("bad", text);
        EXPECT_EQ(undo.status, ExitUsage) << err;
        EXPECT_EQ(undo.out, "") << err;
        EXPECT_NE(undo.err.find(err), std::string::npos) << undo.err;
    }
    EXPECT_EQ(Run({"undo", "/nonexistent/result.json"}).err,
              "pemblorctl: cannot read the result /nonexistent/result.json: No such file or directory\n");
}

} // namespace
} // namespace pemblor
