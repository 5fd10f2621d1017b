#pragma once

namespace pemblor {

// Automatic check box: a click toggles it, then the window hears the click.
class ICheckBox {
public:
    virtual ~ICheckBox() = default;
    virtual int GetCheck() const = 0; // 0 unticked, 1 ticked
    virtual void SetCheck(int state) = 0;
    virtual void EnableWindow(bool enable) = 0;
    virtual bool IsWindowEnabled() const = 0;
};

} // namespace pemblor
