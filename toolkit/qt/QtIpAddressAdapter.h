#pragma once
#include "toolkit/IIpAddressCtrl.h"

#include <QPointer>

namespace pemblor {

class QtIpAddressCtrl;

// Address control adapter; the window owns both the control and the adapter.
// HasWindow() turns false as soon as the control's widget is gone.
class QtIpAddressAdapter final : public IIpAddressCtrl {
public:
    explicit QtIpAddressAdapter(QtIpAddressCtrl* control) : m_pControl(control) {}
    QtIpAddressAdapter(const QtIpAddressAdapter&) = delete;
    QtIpAddressAdapter& operator=(const QtIpAddressAdapter&) = delete;

    void SetFieldRange(int field, int low, int high) override;
    void SetAddress(std::uint32_t address) override;
    int GetAddress(std::uint32_t& address) const override;
    bool IsBlank() const override;
    void ClearAddress() override;
    void SetFocus() override;
    void EnableWindow(bool enable) override;
    bool IsWindowEnabled() const override;
    bool HasWindow() const override;

private:
    QPointer<QtIpAddressCtrl> m_pControl;
};

} // namespace pemblor
