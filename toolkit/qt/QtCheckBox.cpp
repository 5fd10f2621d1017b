#include "toolkit/qt/QtCheckBox.h"

namespace pemblor {

int QtCheckBox::GetCheck() const
{
    return (m_pCheckBox && m_pCheckBox->isChecked()) ? 1 : 0;
}

void QtCheckBox::SetCheck(int state)
{
    // Programmatic: toggles without the clicked signal, so the window hears nothing.
    if (m_pCheckBox)
        m_pCheckBox->setChecked(state != 0);
}

void QtCheckBox::EnableWindow(bool enable)
{
    if (m_pCheckBox)
        m_pCheckBox->setEnabled(enable);
}

bool QtCheckBox::IsWindowEnabled() const
{
    return m_pCheckBox && m_pCheckBox->isEnabled();
}

} // namespace pemblor
