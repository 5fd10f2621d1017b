#pragma once
#include "toolkit/ICheckBox.h"

#include <QCheckBox>
#include <QPointer>

namespace pemblor {

// Check box adapter; the window owns both the check box and the adapter.
class QtCheckBox final : public ICheckBox {
public:
    explicit QtCheckBox(QCheckBox* checkBox) : m_pCheckBox(checkBox) {}
    QtCheckBox(const QtCheckBox&) = delete;
    QtCheckBox& operator=(const QtCheckBox&) = delete;

    int GetCheck() const override;
    void SetCheck(int state) override;
    void EnableWindow(bool enable) override;
    bool IsWindowEnabled() const override;

private:
    QPointer<QCheckBox> m_pCheckBox;
};

} // namespace pemblor
