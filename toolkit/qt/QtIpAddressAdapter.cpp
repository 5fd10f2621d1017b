#include "toolkit/qt/QtIpAddressAdapter.h"

#include "gui/QtIpAddressCtrl.h"

namespace pemblor {

void QtIpAddressAdapter::SetFieldRange(int field, int low, int high)
{
    if (m_pControl)
        m_pControl->SetFieldRange(field, low, high);
}

void QtIpAddressAdapter::SetAddress(std::uint32_t address)
{
    if (m_pControl)
        m_pControl->SetAddress(address);
}

int QtIpAddressAdapter::GetAddress(std::uint32_t& address) const
{
    address = 0;
    return m_pControl ? m_pControl->GetAddress(address) : 0;
}

bool QtIpAddressAdapter::IsBlank() const
{
    return !m_pControl || m_pControl->IsBlank();
}

void QtIpAddressAdapter::ClearAddress()
{
    if (m_pControl)
        m_pControl->ClearAddress();
}

void QtIpAddressAdapter::SetFocus()
{
    if (m_pControl)
        m_pControl->FocusField(0, true);
}

void QtIpAddressAdapter::EnableWindow(bool enable)
{
    if (m_pControl)
        m_pControl->setEnabled(enable);
}

bool QtIpAddressAdapter::IsWindowEnabled() const
{
    return m_pControl && m_pControl->isEnabled();
}

bool QtIpAddressAdapter::HasWindow() const
{
    return !m_pControl.isNull();
}

} // namespace pemblor
