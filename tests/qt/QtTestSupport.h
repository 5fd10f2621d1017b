#pragma once
#include "toolkit/IDialogHandler.h"
#include "toolkit/IToolkit.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

namespace pemblor {

class QtWindow;

// A dialog handler that logs what it hears ("command 1002", "notify 1001
// click", "timer 1", ...) and ends the dialog with IDCANCEL on the cancel
// command unless told otherwise.
class ScriptedHandler final : public IDialogHandler {
public:
    explicit ScriptedHandler(IToolkit& toolkit) : m_toolkit(toolkit) {}

    bool OnInitDialog(IWindow& window) override;
    void OnShowWindow() override;
    void OnCommand(int id) override;
    void OnNotify(int id, Notify code) override;
    void OnTimer(unsigned id) override;
    void OnSysCommand(unsigned id) override;
    void OnClose() override;
    void OnCancel() override;
    void OnDestroy() override;

    int Count(const std::string& entry) const;
    QtWindow& Window() const { return *m_pWindow; }

    std::vector<std::string> log;
    bool bEndOnCancel = true;
    bool bInitResult = true;
    std::function<void(IWindow&)> onInit;
    // Runs inside the modal loop, once the window is shown.
    std::function<void(QtWindow&)> whileShown;
    std::function<void(unsigned)> onTimer;
    std::function<void(int, Notify)> onNotify;
    std::function<void(int)> onCommand;

private:
    IToolkit& m_toolkit;
    QtWindow* m_pWindow = nullptr;
};

// Text of a notification code for the logs.
const char* NotifyName(Notify code);

// Waits, serving events, until `done` holds; false when 5 s pass first.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000);

// Repeatedly, until it succeeds once: finds the active modal or pop-up widget
// of type T and hands it to `act`.
template <typename T>
void WhenActive(std::function<void(T*)> act);

} // namespace pemblor

#include "QtTestSupport.inl"

#include "engine/DeviceRegistry.h"

namespace pemblor {

// Records a discovery reply from `sender` with MAC 02:00:00:00:<index>
// (two bytes) and the entries given, heard on `interfaceName` at `now`.
void RecordDevice(DeviceRegistry& registry, int index, const std::string& sender,
                  const std::vector<std::string>& entries, DeviceRecord::Millis now = 0,
                  const std::string& interfaceName = "lab0");

} // namespace pemblor
