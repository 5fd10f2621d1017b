// pemblorctl on the administrator's own computer: an interface without an
// address, reverse-path drops, no link.
#include "ctl/ExitCode.h"
#include "tests/ctl/CtlRig.h"

#include <fstream>

using namespace pemblor;

namespace {

class FirstContact : public CtlRig {
protected:
    // This computer's eth0 (10.0.0.1) leads elsewhere; eth1, without an
    // address, to the factory-fresh device 1 at 192.168.1.1, which answers
    // by broadcast.
    std::unique_ptr<SimAccessPoint> BehindBareInterface()
    {
        network.AddHost(ToolHost, "office");
        network.AddInterface(ToolHost, "eth1", "", "lan");
        Agent agent = Device(1, "192.168.1.1");
        agent.quirks.broadcastReplies = true;
        return Start(agent);
    }
};

TEST_F(FirstContact, DiscoversChangesAndVerifiesThroughAnInterfaceWithoutAddress)
{
    const auto device = BehindBareInterface();
    const Result found = Run({"discover", "--format", "json", "--timeout", "1"});
    ASSERT_EQ(found.status, ExitOk) << found.err;
    EXPECT_NE(found.out.find("\"ip\":\"192.168.1.1\""), std::string::npos) << found.out;
    EXPECT_NE(found.out.find("\"interface\":\"eth1\""), std::string::npos) << found.out;

    const std::string plan = ::testing::TempDir() + "/bare-plan.csv";
    std::ofstream(plan) << "mac,ip,netmask,gateway,dhcp\n02:00:00:AA:00:01,192.168.1.50,,,off\n";
    const Result applied =
        Run({"apply", plan.c_str(), "--user", "admin", "--password-stdin", "--reboot", "--format", "csv"}, "admin\n");
    EXPECT_EQ(applied.status, ExitOk) << applied.err;
    EXPECT_NE(applied.out.find("verified"), std::string::npos) << applied.out;
    EXPECT_NE(applied.err.find("broadcast to every host on eth1"), std::string::npos) << applied.err;
}

TEST_F(FirstContact, ReversePathDropsAreANoteOrTheReasonOfTheSilence)
{
    reversePath.modes = {{"eth0", 1}};
    reversePath.risePerRead = 2;
    const auto device = Start(Device(1, "10.0.0.20"));
    const Result heard = Run({"discover", "--timeout", "1"});
    EXPECT_EQ(heard.status, ExitOk);
    EXPECT_NE(heard.err.find("pemblorctl: note: The kernel's reverse-path filter dropped"), std::string::npos)
        << heard.err;
    EXPECT_NE(heard.err.find("net.ipv4.conf.eth0.rp_filter=2"), std::string::npos) << heard.err;

    device->SetQuirks([] {
        apsim::Quirks silent;
        silent.silent = true;
        return silent;
    }());
    const Result silent = Run({"discover", "--timeout", "1"});
    EXPECT_EQ(silent.status, ExitNoDevice);
    EXPECT_NE(silent.err.find("The answers were probably dropped by this computer."), std::string::npos) << silent.err;
    EXPECT_EQ(silent.err.find("note:"), std::string::npos) << "told once: " << silent.err;
    EXPECT_EQ(silent.err.find("Nobody answered"), std::string::npos) << silent.err;
}

TEST_F(FirstContact, AnInterfaceWithoutLinkIsNotSentOnAndIsNamed)
{
    network.AddHost(ToolHost, "lan");
    network.SetInterfaceLink(ToolHost, "eth0", false);
    const Result result = Run({"discover", "--timeout", "1"});
    EXPECT_EQ(result.status, ExitNoDevice) << result.err;
    EXPECT_NE(result.err.find("eth0 has no link: its cable is out, or its Wi-Fi is not connected."),
              std::string::npos)
        << result.err;
    EXPECT_TRUE(Sent().empty());
}

} // namespace
