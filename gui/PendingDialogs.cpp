#include "gui/PendingDialogs.h"

namespace pemblor {

CSetupIpDlg::CSetupIpDlg(Session&, QWidget* parent) : QDialog(parent) {}
void CSetupIpDlg::SetMacText(const std::string&) {}
void CSetupIpDlg::SetDeviceAddress(std::string address, unsigned) { m_address = std::move(address); }
void CSetupIpDlg::SetDeviceLine(std::string) {}
void CSetupIpDlg::Abandon() { reject(); }

SetupIpManyDialog::SetupIpManyDialog(Transport&, UiDispatcher&, const LoopClock&, std::vector<ManyDevice>,
                                     std::vector<HeardDevice>, std::vector<std::uint32_t>, QWidget* parent)
    : QDialog(parent)
{
}

} // namespace pemblor
