#pragma once
#include "toolkit/ICheckBox.h"

namespace pemblor {

class FakeCheckBox final : public ICheckBox {
public:
    explicit FakeCheckBox(bool enabled) : m_bEnabled(enabled) {}
    int GetCheck() const override { return m_nCheck; }
    void SetCheck(int state) override { m_nCheck = state; }
    void EnableWindow(bool enable) override { m_bEnabled = enable; }
    bool IsWindowEnabled() const override { return m_bEnabled; }

private:
    int m_nCheck = 0;
    bool m_bEnabled;
};

} // namespace pemblor
