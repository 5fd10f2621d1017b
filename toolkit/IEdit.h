#pragma once
#include <string>

namespace pemblor {

// Single-line edit. The password style is part of the window's layout.
class IEdit {
public:
    virtual ~IEdit() = default;
    virtual std::string GetWindowText() const = 0;
    virtual void SetWindowText(const std::string& text) = 0;
    // The edit refuses input beyond `characters`.
    virtual void SetLimitText(int characters) = 0;
    virtual void EnableWindow(bool enable) = 0;
    virtual bool IsWindowEnabled() const = 0;
};

} // namespace pemblor
