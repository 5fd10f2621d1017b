#pragma once
#include "protocol/Datagram.h"
#include "resources/ResourceIds.h"
#include "tests/support/DeviceListHarness.h"
#include "tests/support/SetupIpTestOwner.h"
#include "ui/setupip/CSetupIpDlg.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pemblor {

// A tool host and one device on the fake network, the fake toolkit with its
// virtual clock (the device list harness's, without its window), a device
// list window stand-in and the Setup IP dialog.
struct SetupIpRig {
    using Millis = FakeToolkit::Millis;
    static constexpr const char* ToolHost = DeviceListHarness::ToolHost;
    static constexpr const char* DeviceHost = "198.18.0.10";
    static constexpr const char* MacText = "00:0A:FF:10:2B:C4";

    SetupIpRig();
    ~SetupIpRig();
    SetupIpRig(const SetupIpRig&) = delete;
    SetupIpRig& operator=(const SetupIpRig&) = delete;

    // The device's detail reply: these four entries, in this order.
    void Report(const std::string& ip, const std::string& mask, const std::string& gateway, const std::string& dhcp);
    // Changes the device's behaviour now, or at a virtual time (also while
    // the user-interface thread refuses input).
    void Configure(FakeAccessPoint& device, const std::function<void(FakeAccessPoint::Profile&)>& change);
    void ConfigureAt(Millis time, FakeAccessPoint& device, std::function<void(FakeAccessPoint::Profile&)> change);
    // The same device (same MAC) on another host, answering nothing until
    // configured to.
    FakeAccessPoint& AddMovedDevice(const std::string& host);

    // Opens the owner's window and starts its receive thread.
    void Start();
    // Opens the dialog without a modal loop, as the Setup IP command would
    // run it, and lets the detail reply arrive.
    FakeWindow& OpenDialog(const std::string& rowAddress = DeviceHost);
    // Runs the Setup IP command modally; returns the row's address afterwards.
    std::string RunDialog(const std::string& rowAddress = DeviceHost);
    // Closes a dialog opened by OpenDialog; returns the row's address.
    std::string CloseDialog();

    // Datagrams the tool sent, in order.
    std::vector<std::vector<std::uint8_t>> SentByTool() const;
    // A built datagram's bytes, as SentByTool gives them.
    static std::vector<std::uint8_t> Wire(const Datagram& datagram);
    // Records, every 100 ms of virtual time up to `until`, how many detail
    // queries the tool has sent; DetailQueryTimes() then gives the virtual
    // time of each.
    void WatchDetailQueries(Millis until);
    std::vector<Millis> DetailQueryTimes() const;
    FakeWindow& OwnerWindow() { return *toolkit.LastWindow(IDD_DEVICELIST); }

    DeviceListHarness lan;
    FakeToolkit& toolkit;
    FakeAccessPoint& device;
    SetupIpTestOwner owner;
    std::unique_ptr<CSetupIpDlg> dialog;
    FakeWindow* window = nullptr;

private:
    int DetailQueriesSent() const;
    std::vector<std::pair<Millis, int>> m_queryCounts;
};

} // namespace pemblor
