#pragma once
// Throwaway: the two dialogs' interfaces until they arrive, so that the
// device list window builds and links. Goes when they do.
#include "engine/DeviceSettings.h"
#include "engine/EventLoop.h"
#include "engine/JobOutcome.h"
#include "engine/Session.h"
#include "fleet/Planner.h"

#include <QDialog>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pemblor {

class DeviceJob;

class CSetupIpDlg final : public QDialog {
    Q_OBJECT
public:
    explicit CSetupIpDlg(Session& session, QWidget* parent = nullptr);
    void SetMacText(const std::string& text);
    void SetDeviceAddress(std::string address, unsigned interfaceIndex = 0);
    void SetDeviceLine(std::string line);
    const std::string& DeviceAddress() const { return m_address; }
    const std::optional<DeviceSettings>& Reread() const { return m_reread; }
    bool Restarting() const { return false; }
    const DeviceJob* Job() const { return nullptr; }
    void Abandon();

private:
    std::string m_address;
    std::optional<DeviceSettings> m_reread;
};

struct ManyDevice {
    int number = 0;
    std::string ssid;
    std::string mac;
    std::string address;
};

class SetupIpManyDialog final : public QDialog {
    Q_OBJECT
public:
    SetupIpManyDialog(Transport& transport, UiDispatcher& dispatcher, const LoopClock& clock,
                      std::vector<ManyDevice> devices, std::vector<HeardDevice> heard,
                      std::vector<std::uint32_t> reserved, QWidget* parent = nullptr);

signals:
    void deviceEnded(const pemblor::DeviceOutcome& outcome);
};

} // namespace pemblor
