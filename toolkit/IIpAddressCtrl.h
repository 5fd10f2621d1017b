#pragma once
#include <cstdint>

namespace pemblor {

// IPv4 address control: four fields, field 0 the leftmost. The value is a
// 32-bit number in host order with field 0 in the most significant byte; a
// blank field reads as 0. Each field change (by the user) is reported to the
// window as Notify::FieldChanged with the control's id.
class IIpAddressCtrl {
public:
    virtual ~IIpAddressCtrl() = default;
    virtual void SetFieldRange(int field, int low, int high) = 0;
    virtual void SetAddress(std::uint32_t address) = 0;
    // Stores the value in `address`; returns the number of non-blank fields.
    virtual int GetAddress(std::uint32_t& address) const = 0;
    virtual bool IsBlank() const = 0;
    virtual void ClearAddress() = 0;
    virtual void SetFocus() = 0;
    virtual void EnableWindow(bool enable) = 0;
    virtual bool IsWindowEnabled() const = 0;
    // False once the control's window is gone (or before it exists).
    virtual bool HasWindow() const = 0;
};

} // namespace pemblor
