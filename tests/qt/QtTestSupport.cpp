#include "QtTestSupport.h"

#include "resources/ResourceIds.h"
#include "toolkit/qt/QtWindow.h"

#include <QTest>

namespace pemblor {

const char* NotifyName(Notify code)
{
    switch (code) {
    case Notify::Click:
        return "click";
    case Notify::DoubleClick:
        return "double";
    case Notify::RightClick:
        return "right";
    case Notify::FieldChanged:
        return "field";
    case Notify::Copy:
        return "copy";
    case Notify::SelectionChanged:
        return "selection";
    }
    return "?";
}

bool ScriptedHandler::OnInitDialog(IWindow& window)
{
    m_pWindow = dynamic_cast<QtWindow*>(&window);
    log.push_back("init");
    if (onInit)
        onInit(window);
    return bInitResult;
}

void ScriptedHandler::OnShowWindow()
{
    log.push_back(m_pWindow->isVisible() ? "show visible" : "show hidden");
    if (whileShown) {
        QtWindow* window = m_pWindow;
        QTimer::singleShot(0, window, [this, window] {
            whileShown(*window);
            if (!window->IsEnded())
                m_toolkit.EndDialog(*window, -1);
        });
    }
}

void ScriptedHandler::OnCommand(int id)
{
    log.push_back("command " + std::to_string(id));
    if (onCommand)
        onCommand(id);
}

void ScriptedHandler::OnNotify(int id, Notify code)
{
    log.push_back("notify " + std::to_string(id) + " " + NotifyName(code));
    if (onNotify)
        onNotify(id, code);
}

void ScriptedHandler::OnTimer(unsigned id)
{
    log.push_back("timer " + std::to_string(id));
    if (onTimer)
        onTimer(id);
}

void ScriptedHandler::OnSysCommand(unsigned id)
{
    log.push_back("sys " + std::to_string(id));
}

void ScriptedHandler::OnClose()
{
    log.push_back("close");
    OnCancel();
}

void ScriptedHandler::OnCancel()
{
    log.push_back("cancel");
    if (bEndOnCancel)
        m_toolkit.EndDialog(*m_pWindow, IDCANCEL);
}

void ScriptedHandler::OnDestroy()
{
    log.push_back("destroy");
}

int ScriptedHandler::Count(const std::string& entry) const
{
    return static_cast<int>(std::count(log.begin(), log.end(), entry));
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    return QTest::qWaitFor(done, timeoutMs);
}

} // namespace pemblor

#include "engine/NetworkInterface.h"
#include "protocol/Datagram.h"
#include "protocol/DatagramType.h"
#include "protocol/ReplyDatagram.h"

namespace pemblor {

void RecordDevice(DeviceRegistry& registry, int index, const std::string& sender,
                  const std::vector<std::string>& entries, DeviceRecord::Millis now, const std::string& interfaceName)
{
    const MacBytes mac{0x02, 0, 0, 0, static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index & 0xFF)};
    const std::vector<std::string_view> texts(entries.begin(), entries.end());
    const Datagram datagram = EncodeDatagram(TypeQueryReply, mac, "", "", texts);
    const ReplyDatagram reply(datagram.data(), datagram.size, sender);
    NetworkInterface heardOn;
    heardOn.name = interfaceName;
    heardOn.index = 2;
    registry.Record(reply, heardOn, now);
}

} // namespace pemblor
