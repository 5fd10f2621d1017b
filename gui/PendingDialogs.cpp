#include "gui/PendingDialogs.h"

namespace pemblor {

CSetupIpDlg::CSetupIpDlg(Session&, QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("CSetupIpDlg")); }
void CSetupIpDlg::SetMacText(const std::string&) {}
void CSetupIpDlg::SetDeviceAddress(std::string address, unsigned) { m_address = std::move(address); }
void CSetupIpDlg::SetDeviceLine(std::string) {}
void CSetupIpDlg::Abandon() { reject(); }

} // namespace pemblor
