#include "tests/gui/GuiRig.h"

#include "gui/MessageBox.h"
#include "protocol/MacText.h"
#include "protocol/Requests.h"
#include "tools/apsim/LabAddress.h"

#include <QCoreApplication>
#include <QEvent>

namespace pemblor {
namespace {

int CountSent(const FakeNetwork& net, const Datagram* only)
{
    int count = 0;
    for (const auto& sent : net.SentLog()) {
        if (sent.fromHost != GuiRig::ToolHost)
            continue;
        if (only && sent.bytes != std::vector<std::uint8_t>(only->data(), only->data() + only->size))
            continue;
        ++count;
    }
    return count;
}

} // namespace

GuiRig::GuiRig() : tool(net.NewLayer(ToolHost)), interfaces(net.InterfaceList(ToolHost))
{
    config.interfaces = interfaces.get();
    config.reversePath = &reversePath;
    clock.SetQuiescenceProbe([this] { return net.Quiescent(); });
    MessageBox::reset();
    MessageBox::setEscapeUnanswered(true);
}

GuiRig::~GuiRig()
{
    accessPoints.clear();
    MessageBox::reset();
}

std::string GuiRig::ApHost(int index)
{
    return "198.18.0." + std::to_string(10 + index);
}

MacBytes GuiRig::ApMac(int index)
{
    return {0x02, 0x00, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(index + 1)};
}

std::string GuiRig::ApMacText(int index)
{
    return std::string(FormatMacText(ApMac(index)).view());
}

apsim::ApSettings GuiRig::Standard(int index)
{
    apsim::ApSettings settings;
    settings.ip = *apsim::ParseAddress(ApHost(index));
    settings.mask = 0xFFFFFF00u;
    settings.mac = ApMac(index);
    settings.ssid = "ap" + std::to_string(index);
    settings.channel = 6;
    return settings;
}

SimAccessPoint& GuiRig::AddAccessPoint(const apsim::ApSettings& settings, const apsim::Quirks& quirks)
{
    accessPoints.push_back(std::make_unique<SimAccessPoint>(net, loop, settings, quirks));
    return *accessPoints.back();
}

SimAccessPoint& GuiRig::AddStandardAccessPoint(int index, const apsim::Quirks& quirks)
{
    return AddAccessPoint(Standard(index), quirks);
}

void GuiRig::AddInOrder(int count, const std::function<void(int, apsim::ApSettings&)>& adjust)
{
    for (int i = 0; i < count; ++i) {
        apsim::ApSettings settings = Standard(i);
        adjust(i, settings);
        apsim::Quirks quirks;
        quirks.replyDelayMs = 100 + 100 * i;
        AddAccessPoint(settings, quirks);
    }
}

SimAccessPoint& GuiRig::AddAccessPointOn(const std::string& segment, const apsim::ApSettings& settings,
                                         const apsim::Quirks& quirks)
{
    net.AddHost(apsim::FormatAddress(settings.ip), segment);
    return AddAccessPoint(settings, quirks);
}

QStringList GuiRig::Messages()
{
    m_messages += MessageBox::takeShown();
    return m_messages;
}

void GuiRig::ClearMessages()
{
    MessageBox::takeShown();
    m_messages.clear();
}

void GuiRig::Advance(Millis ms)
{
    const auto serveQt = [] {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return false;
    };
    loop.RunUntil(loop.Now() + ms, serveQt);
    serveQt();
}

int GuiRig::DatagramsSent() const
{
    return CountSent(net, nullptr);
}

int GuiRig::StopDatagramsSent() const
{
    const Datagram stop = BuildStopDatagram();
    return CountSent(net, &stop);
}

int GuiRig::DiscoveriesSent() const
{
    const Datagram query = BuildDiscoveryRequest();
    return CountSent(net, &query);
}

} // namespace pemblor
