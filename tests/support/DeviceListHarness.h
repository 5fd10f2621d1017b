#pragma once
#include "engine/EventLoop.h"
#include "engine/fake/FakeNetwork.h"
#include "protocol/PacketHeader.h"
#include "resources/ResourceIds.h"
#include "tests/support/FakeAccessPoint.h"
#include "toolkit/fake/FakeToolkit.h"
#include "ui/devicelist/CDeviceListDlg.h"

#include <memory>
#include <string>
#include <vector>

namespace pemblor {

// Which device list window the harness opens; both give the same table.
enum class RowStrategy {
    Batched, // the product's
};

// The device list window on a fake LAN: the tool's host, any number of
// access points on hosts of their own, and the fake toolkit on the event
// loop (the window's dispatcher) whose virtual clock steps only when the
// network is quiet. The receive thread is real.
class DeviceListHarness final {
public:
    static constexpr const char* ToolHost = "198.18.0.1";

    explicit DeviceListHarness(RowStrategy strategy = RowStrategy::Batched);
    ~DeviceListHarness();
    DeviceListHarness(const DeviceListHarness&) = delete;
    DeviceListHarness& operator=(const DeviceListHarness&) = delete;

    // Host 198.18.0.<10 + index>, MAC 02:00:00:00:00:<index + 1>.
    static std::string ApHost(int index);
    static MacBytes ApMac(int index);
    FakeAccessPoint& AddAccessPoint(const FakeAccessPoint::Profile& profile, const std::string& host);
    // The usual agent number `index`, SSID "ap<index>".
    FakeAccessPoint& AddStandardAccessPoint(int index);

    // Creates the window and opens it without a modal loop.
    FakeWindow& Open();

    FakeListCtrl& List() { return window->ListAt(IDC_LIST_DEVICES); }
    // The cells a reply fills (columns 0 to 5), row by row, as shown.
    std::vector<std::vector<std::string>> Rows()
    {
        std::vector<std::vector<std::string>> rows = List().Rows();
        for (auto& row : rows)
            row.resize(6);
        return rows;
    }
    // The Interface column, row by row.
    std::vector<std::string> Interfaces()
    {
        std::vector<std::string> names;
        for (const auto& row : List().Rows())
            names.push_back(row.size() > 6 ? row[6] : std::string("<no column>"));
        return names;
    }
    bool Enabled(int id) { return window->ButtonAt(id).IsWindowEnabled(); }
    // Presses Discover and lets `ms` of virtual time pass.
    void Discover(FakeToolkit::Millis ms = 0);
    // Datagrams of type 4 that left the tool's host.
    int StopDatagramsSent() const;
    // Every datagram that left the tool's host.
    int DatagramsSent() const;
    // Discovery queries that left the tool's host (one per interface).
    int DiscoveriesSent() const;

    FakeNetwork net;
    std::unique_ptr<FakeSocketLayer> tool;
    // The tool host's interfaces (one, "eth0", unless a test adds more).
    std::unique_ptr<IInterfaceList> interfaces;
    VirtualClock clock;
    EventLoop loop{clock};
    FakeToolkit ui{loop};
    // The window's session settings, as Open() passes them; they name the
    // interfaces above.
    SessionConfig config;
    std::vector<std::unique_ptr<FakeAccessPoint>> accessPoints;
    std::unique_ptr<CDeviceListDlg> dialog;
    FakeWindow* window = nullptr;

private:
    RowStrategy m_strategy;
};

} // namespace pemblor
