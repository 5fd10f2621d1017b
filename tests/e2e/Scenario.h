#pragma once
#include "LabEnv.h"
#include "PemblorUser.h"
#include "UiDriver.h"
#include "UrlRecorder.h"

#include <QString>

#include <chrono>
#include <string>

namespace e2e {

// What a scenario works with. A scenario runs on a thread of its own while
// the program runs on the main thread; it fails by throwing StepFailed.
struct Scenario {
    UiDriver& ui;
    PemblorUser& user;
    UrlRecorder& urls;
    const LabEnv& lab;
    std::string self;  // this executable, for a second copy
    QString appName;   // the caption of every message box
};

using ScenarioFunction = void (*)(Scenario&);
using Clock = std::chrono::steady_clock;

// The device table's columns.
constexpr int kColSsid = 1;
constexpr int kColIp = 2;
constexpr int kColMask = 3;
constexpr int kColChannel = 4;
constexpr int kColMac = 5;
constexpr int kColInterface = 6;

// One line on stdout with the time since start, to follow a run in the log.
void Note(const std::string& text);

// Shared steps.
void OpenMainWindow(Scenario& s);
void CloseMainWindow(Scenario& s);
// The message box on top: its text, caption, icon, its single OK button and
// its owner are checked.
MessageBoxSeen ExpectMessageBox(Scenario& s, const QString& text, const QString& owner,
                                std::chrono::milliseconds timeout);
void ExpectEqual(const QString& actual, const QString& expected, const std::string& what);
std::chrono::milliseconds Since(Clock::time_point start);
// Presses Discover in the open main window, waits `within` for `rows` rows and
// then for the end of the cycle (Discover enabled again); returns the table.
TableSeen DiscoverRows(Scenario& s, int rows, std::chrono::milliseconds within);
void ExpectWithin(std::chrono::milliseconds actual, std::chrono::milliseconds low, std::chrono::milliseconds high,
                  const std::string& what);

// The cases, by the name given on the command line.
void DiscoverThreeDevices(Scenario& s);
void FindNoDevices(Scenario& s);
void SenderAddressAndWebPage(Scenario& s);
void MalformedReplies(Scenario& s);
void SetupIpWithReboot(Scenario& s);
void SetupIpCancelReboot(Scenario& s);
void SetupIpMany(Scenario& s);
void SetupIpPutBack(Scenario& s);
void SetupIpNeverBack(Scenario& s);
void SetupIpNetmaskInRow(Scenario& s);
void DetailTimeOut(Scenario& s);
void DetailWithAnotherDeviceAnswering(Scenario& s);
void KeyboardOnly(Scenario& s);
void SecondCopySameHost(Scenario& s);
void SecondCopySameHostPeer(Scenario& s);
void BesideCtl(Scenario& s);
void StopFromOtherHost(Scenario& s);
void StopFromOtherHostPeer(Scenario& s);
void ShareList(Scenario& s);
void LinksDiscover(Scenario& s);
void LinksSetupIpReboot(Scenario& s);
void DiagnoseBlocked(Scenario& s);
void DiagnoseNobody(Scenario& s);
void DiagnoseNoInterface(Scenario& s);
void LiveView(Scenario& s);

} // namespace e2e
