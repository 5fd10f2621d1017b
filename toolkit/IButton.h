#pragma once

namespace pemblor {

class IButton {
public:
    virtual ~IButton() = default;
    virtual void EnableWindow(bool enable) = 0;
    virtual bool IsWindowEnabled() const = 0;
};

} // namespace pemblor
