#include "toolkit/qt/QtButton.h"

#include <QWidget>

namespace pemblor {

void QtButton::EnableWindow(bool enable)
{
    if (!m_pButton)
        return;
    // A button that disables itself while it has the focus would hand it to
    // the next control in the tab order, which Enter would then press (the
    // Close button after Discover). The focus goes back instead, to the
    // nearest control before it that can take it.
    if (!enable && m_pButton->hasFocus()) {
        for (QWidget* before = m_pButton->previousInFocusChain(); before && before != m_pButton.data();
             before = before->previousInFocusChain()) {
            if (before->window() == m_pButton->window() && before->isEnabled() && before->isVisible() &&
                (before->focusPolicy() & Qt::TabFocus)) {
                before->setFocus(Qt::OtherFocusReason);
                break;
            }
        }
    }
    m_pButton->setEnabled(enable);
}

bool QtButton::IsWindowEnabled() const
{
    return m_pButton && m_pButton->isEnabled();
}

} // namespace pemblor
