#include "tests/support/DeviceListHarness.h"

#include "protocol/Requests.h"

#include <vector>

namespace pemblor {

DeviceListHarness::DeviceListHarness(RowStrategy strategy)
    : tool(net.NewLayer(ToolHost)), interfaces(net.InterfaceList(ToolHost)), m_strategy(strategy)
{
    config.interfaces = interfaces.get();
    clock.SetQuiescenceProbe([this] { return net.Quiescent(); });
}

DeviceListHarness::~DeviceListHarness()
{
    // The window first: its receive thread calls into the toolkit.
    dialog.reset();
    accessPoints.clear();
}

std::string DeviceListHarness::ApHost(int index)
{
    return "198.18.0." + std::to_string(10 + index);
}

MacBytes DeviceListHarness::ApMac(int index)
{
    return {0x02, 0x00, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(index + 1)};
}

FakeAccessPoint& DeviceListHarness::AddAccessPoint(const FakeAccessPoint::Profile& profile, const std::string& host)
{
    accessPoints.push_back(std::make_unique<FakeAccessPoint>(net, ui, host, profile));
    return *accessPoints.back();
}

FakeAccessPoint& DeviceListHarness::AddStandardAccessPoint(int index)
{
    return AddAccessPoint(FakeAccessPoint::Standard(ApHost(index), ApMac(index), "ap" + std::to_string(index)),
                          ApHost(index));
}

FakeWindow& DeviceListHarness::Open()
{
    dialog = std::make_unique<CDeviceListDlg>(ui, loop, *tool, config);
    window = &ui.Open(*dialog, IDD_DEVICELIST);
    return *window;
}

void DeviceListHarness::Discover(FakeToolkit::Millis ms)
{
    window->Click(IDC_BTN_DISCOVER);
    ui.Advance(ms);
}

int DeviceListHarness::StopDatagramsSent() const
{
    const Datagram stop = BuildStopDatagram();
    const std::vector<std::uint8_t> expected(stop.data(), stop.data() + stop.size);
    int count = 0;
    for (const auto& sent : net.SentLog()) {
        if (sent.fromHost == ToolHost && sent.bytes == expected)
            ++count;
    }
    return count;
}

int DeviceListHarness::DiscoveriesSent() const
{
    const Datagram query = BuildDiscoveryRequest();
    const std::vector<std::uint8_t> expected(query.data(), query.data() + query.size);
    int count = 0;
    for (const auto& sent : net.SentLog()) {
        if (sent.fromHost == ToolHost && sent.bytes == expected)
            ++count;
    }
    return count;
}

int DeviceListHarness::DatagramsSent() const
{
    int count = 0;
    for (const auto& sent : net.SentLog())
        count += sent.fromHost == ToolHost ? 1 : 0;
    return count;
}

} // namespace pemblor
