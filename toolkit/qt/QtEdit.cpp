#include "toolkit/qt/QtEdit.h"

namespace pemblor {

namespace {
constexpr int kDefaultLimit = 32767;
}

std::string QtEdit::GetWindowText() const
{
    return m_pEdit ? m_pEdit->text().toStdString() : std::string();
}

void QtEdit::SetWindowText(const std::string& text)
{
    if (m_pEdit)
        m_pEdit->setText(QString::fromStdString(text));
}

void QtEdit::SetLimitText(int characters)
{
    if (m_pEdit)
        m_pEdit->setMaxLength(characters > 0 ? characters : kDefaultLimit);
}

void QtEdit::EnableWindow(bool enable)
{
    if (m_pEdit)
        m_pEdit->setEnabled(enable);
}

bool QtEdit::IsWindowEnabled() const
{
    return m_pEdit && m_pEdit->isEnabled();
}

} // namespace pemblor
