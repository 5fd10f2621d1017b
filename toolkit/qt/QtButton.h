#pragma once
#include "toolkit/IButton.h"

#include <QPointer>
#include <QPushButton>

namespace pemblor {

// Push button adapter; the window owns both the button and the adapter.
class QtButton final : public IButton {
public:
    explicit QtButton(QPushButton* button) : m_pButton(button) {}
    QtButton(const QtButton&) = delete;
    QtButton& operator=(const QtButton&) = delete;

    void EnableWindow(bool enable) override;
    bool IsWindowEnabled() const override;

private:
    QPointer<QPushButton> m_pButton;
};

} // namespace pemblor
