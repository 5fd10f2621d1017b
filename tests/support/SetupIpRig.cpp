#include "tests/support/SetupIpRig.h"

#include "protocol/MacText.h"
#include "protocol/Requests.h"

namespace pemblor {

namespace {

FakeAccessPoint::Profile DeviceProfile()
{
    FakeAccessPoint::Profile profile;
    profile.mac = ParseMacText(SetupIpRig::MacText);
    profile.detailEntries = {"IP_ADDR=192.168.1.20", "SUBNET_MASK=255.255.255.0", "DEFAULT_GATEWAY=192.168.1.1",
                             "DHCP=1"};
    return profile;
}

constexpr FakeToolkit::Millis ProbeStep = 100;

} // namespace

SetupIpRig::SetupIpRig()
    : toolkit(lan.ui), device(lan.AddAccessPoint(DeviceProfile(), DeviceHost)), owner(toolkit, lan.loop, *lan.tool)
{
}

SetupIpRig::~SetupIpRig()
{
    if (window && !window->Ended())
        CloseDialog();
}

void SetupIpRig::Report(const std::string& ip, const std::string& mask, const std::string& gateway,
                        const std::string& dhcp)
{
    Configure(device, [&](FakeAccessPoint::Profile& profile) {
        profile.detailEntries = {"IP_ADDR=" + ip, "SUBNET_MASK=" + mask, "DEFAULT_GATEWAY=" + gateway, "DHCP=" + dhcp};
    });
}

void SetupIpRig::Configure(FakeAccessPoint& target, const std::function<void(FakeAccessPoint::Profile&)>& change)
{
    FakeAccessPoint::Profile profile = target.GetProfile();
    change(profile);
    target.SetProfile(profile);
}

void SetupIpRig::ConfigureAt(Millis time, FakeAccessPoint& target,
                             std::function<void(FakeAccessPoint::Profile&)> change)
{
    toolkit.AfterExternal(time - toolkit.Now(),
                          [this, &target, change = std::move(change)] { Configure(target, change); });
}

FakeAccessPoint& SetupIpRig::AddMovedDevice(const std::string& host)
{
    FakeAccessPoint::Profile profile = device.GetProfile();
    profile.answerDiscovery = false;
    profile.answerDetail = false;
    profile.answerCommands = false;
    return lan.AddAccessPoint(profile, host);
}

void SetupIpRig::Start()
{
    toolkit.Open(owner, IDD_DEVICELIST);
    owner.StartThread();
}

FakeWindow& SetupIpRig::OpenDialog(const std::string& rowAddress)
{
    dialog = owner.NewDialog();
    owner.Attach(*dialog, MacText, rowAddress);
    window = &toolkit.Open(*dialog, IDD_SETUPIP);
    toolkit.Advance(device.GetProfile().detailDelay);
    return *window;
}

std::string SetupIpRig::RunDialog(const std::string& rowAddress)
{
    dialog = owner.NewDialog();
    const std::string address = owner.RunSetupIp(*dialog, MacText, rowAddress);
    window = toolkit.LastWindow(IDD_SETUPIP);
    return address;
}

std::string SetupIpRig::CloseDialog()
{
    if (window && !window->Ended())
        window->PressCloseBox();
    return owner.Detach();
}

std::vector<std::vector<std::uint8_t>> SetupIpRig::SentByTool() const
{
    std::vector<std::vector<std::uint8_t>> sent;
    for (const auto& datagram : lan.net.SentLog()) {
        if (datagram.fromHost == ToolHost)
            sent.push_back(datagram.bytes);
    }
    return sent;
}

std::vector<std::uint8_t> SetupIpRig::Wire(const Datagram& datagram)
{
    const auto bytes = datagram.view();
    return {bytes.begin(), bytes.end()};
}

int SetupIpRig::DetailQueriesSent() const
{
    const std::vector<std::uint8_t> query = Wire(BuildDetailQuery(MacText));
    int count = 0;
    for (const auto& bytes : SentByTool())
        count += bytes == query ? 1 : 0;
    return count;
}

void SetupIpRig::WatchDetailQueries(Millis until)
{
    // Requests leave at whole multiples of the step; a probe half a step
    // later sees each one, so the probe's time less half a step is the
    // request's.
    for (Millis at = toolkit.Now() + ProbeStep / 2; at <= until; at += ProbeStep)
        toolkit.AfterExternal(at - toolkit.Now(),
                              [this] { m_queryCounts.emplace_back(toolkit.Now(), DetailQueriesSent()); });
}

std::vector<SetupIpRig::Millis> SetupIpRig::DetailQueryTimes() const
{
    std::vector<Millis> times;
    int seen = 0;
    for (const auto& [time, count] : m_queryCounts) {
        for (; seen < count; ++seen)
            times.push_back(time - ProbeStep / 2);
    }
    return times;
}

} // namespace pemblor
