#include "toolkit/qt/QtButton.h"

namespace pemblor {

void QtButton::EnableWindow(bool enable)
{
    if (m_pButton)
        m_pButton->setEnabled(enable);
}

bool QtButton::IsWindowEnabled() const
{
    return m_pButton && m_pButton->isEnabled();
}

} // namespace pemblor
