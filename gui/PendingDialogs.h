#pragma once
// Throwaway: the Setup IP dialog's interface until it arrives, so that the
// device list window builds and links. Goes when they do.
#include "engine/DeviceSettings.h"
#include "engine/Session.h"

#include <QDialog>

#include <optional>
#include <string>

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

} // namespace pemblor
