#pragma once
#include <string>

namespace pemblor {

class IButton;
class ICheckBox;
class IEdit;
class IIpAddressCtrl;
class IListCtrl;

// A window built from a layout template. Controls are found by id; a lookup
// of an id the layout lacks, or of another kind of control, returns null.
// The window owns its controls.
class IWindow {
public:
    virtual ~IWindow() = default;
    virtual IButton* Button(int id) = 0;
    virtual IEdit* Edit(int id) = 0;
    virtual ICheckBox* CheckBox(int id) = 0;
    virtual IIpAddressCtrl* IpAddress(int id) = 0;
    virtual IListCtrl* List(int id) = 0;
    // Moves the keyboard focus to the control.
    virtual void SetFocus(int id) = 0;
    // Replaces the text (UTF-8) of the static text control `id`; does nothing
    // for another id.
    virtual void SetItemText(int id, const std::string& text) = 0;
    // What assistive technology reads out about the window beside its title.
    virtual void SetDescription(const std::string& text) = 0;
};

} // namespace pemblor
