// End-to-end runs of the tool: the real windows on the Qt toolkit and the
// real sockets, inside a lab made by scripts/lab, driven as a user would.
//
//   e2e_tests CASE      (through scripts/lab only)
//
// The program object is constructed and started as the tool's main() does;
// a scenario thread drives it. Exit status: 0 passed, 1 failed, 2 bad
// command line, 77 not inside a lab.

#include "Scenario.h"

#include "engine/PosixInterfaceList.h"
#include "engine/PosixSocketLayer.h"
#include "engine/Session.h"
#include "gui/Application.h"
#include "gui/QtDispatcher.h"
#include "tools/apsim/LabAddress.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <thread>

namespace {

using namespace e2e;

struct Case {
    std::string_view name;
    ScenarioFunction run;
};

constexpr Case kCases[] = {
    {"discover", DiscoverThreeDevices},
    {"share-list", ShareList},
    {"setup-ip-many", SetupIpMany},
    {"setup-ip-put-back", SetupIpPutBack},
    {"no-devices", FindNoDevices},
    {"sender-address", SenderAddressAndWebPage},
    {"malformed", MalformedReplies},
    {"setup-ip-reboot", SetupIpWithReboot},
    {"setup-ip-cancel", SetupIpCancelReboot},
    {"setup-ip-never-back", SetupIpNeverBack},
    {"setup-ip-netmask", SetupIpNetmaskInRow},
    {"detail-timeout", DetailTimeOut},
    {"detail-out-of-turn", DetailWithAnotherDeviceAnswering},
    {"keyboard-only", KeyboardOnly},
    {"second-copy", SecondCopySameHost},
    {"second-copy-peer", SecondCopySameHostPeer},
    {"beside-ctl", BesideCtl},
    {"stop-other-host", StopFromOtherHost},
    {"stop-other-host-peer", StopFromOtherHostPeer},
    {"links-discover", LinksDiscover},
    {"links-setup-ip-reboot", LinksSetupIpReboot},
    {"diagnose-blocked", DiagnoseBlocked},
    {"diagnose-nobody", DiagnoseNobody},
    {"diagnose-no-interface", DiagnoseNoInterface},
    {"live-view", LiveView},
};

// After the window has closed the scenario may still be looking at what
// followed; beyond this it has lost its way.
constexpr std::chrono::seconds kAfterCloseDeadline{20};

int Usage()
{
    std::fprintf(stderr, "usage: e2e_tests CASE   (run through scripts/lab)\ncases:");
    for (const Case& c : kCases)
        std::fprintf(stderr, " %.*s", static_cast<int>(c.name.size()), c.name.data());
    std::fprintf(stderr, "\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2)
        return Usage();
    const Case* chosen = nullptr;
    for (const Case& c : kCases)
        if (c.name == argv[1])
            chosen = &c;
    if (!chosen)
        return Usage();

    // The tool broadcasts; that may happen only inside a lab namespace.
    LabEnv lab;
    std::string problem;
    if (!LabEnv::FromEnvironment(lab, problem)) {
        std::fprintf(stderr, "e2e: %s is not set: not inside a lab run, nothing done\n", problem.c_str());
        return 77;
    }
    if (!apsim::CheckLabNamespace(problem)) {
        std::fprintf(stderr, "e2e: not inside a lab namespace (%s), nothing done\n", problem.c_str());
        return 77;
    }

    QApplication application(argc, argv);
    UrlRecorder urls;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &urls, "Open");

    QGuiApplication::setQuitOnLastWindowClosed(false);
    pemblor::InstallApplicationIcon();
    pemblor::QtDispatcher dispatcher;
    pemblor::SteadyClock clock;
    pemblor::PosixSocketLayer sockets;
    pemblor::PosixInterfaceList interfaces;
    pemblor::SessionConfig config = pemblor::DesktopSessionConfig(interfaces);

    UiDriver ui(&application);
    PemblorUser user(ui);
    Scenario scenario{ui, user, urls, lab, argv[0],
                      QString::fromStdString(std::filesystem::path(argv[0]).stem().string())};

    std::atomic<bool> finished{false};
    std::thread driver([&] {
        try {
            chosen->run(scenario);
        } catch (const StepFailed& failure) {
            std::fprintf(stderr, "FAIL [%s]: %s\non screen:\n", argv[1], failure.what());
            std::fflush(nullptr);
            std::fprintf(stderr, "%s", user.Describe().c_str());
            std::fflush(nullptr);
            std::_Exit(1);
        }
        finished = true;
    });

    pemblor::RunApplication(dispatcher, clock, sockets, std::move(config));

    // The scenario's looks still need the user-interface thread.
    const auto closedAt = std::chrono::steady_clock::now();
    QEventLoop afterClose;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (finished || std::chrono::steady_clock::now() - closedAt > kAfterCloseDeadline)
            afterClose.quit();
    });
    poll.start(20);
    afterClose.exec();
    if (!finished) {
        std::fprintf(stderr, "FAIL [%s]: the main window closed, the scenario did not finish\n", argv[1]);
        std::fflush(nullptr);
        std::_Exit(1);
    }
    driver.join();

    dispatcher.Stop();
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    std::printf("PASS [%s]\n", argv[1]);
    return 0;
}
