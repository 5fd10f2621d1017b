#pragma once
#include "toolkit/IButton.h"

namespace pemblor {

class FakeButton final : public IButton {
public:
    explicit FakeButton(bool enabled) : m_bEnabled(enabled) {}
    void EnableWindow(bool enable) override { m_bEnabled = enable; }
    bool IsWindowEnabled() const override { return m_bEnabled; }

private:
    bool m_bEnabled;
};

} // namespace pemblor
