#pragma once
#include <span>
#include <string_view>

namespace pemblor {

enum class ControlKind { PushButton, DefPushButton, Static, GroupBox, Icon, Edit, PasswordEdit, CheckBox, IpAddress, List };

// One control of a layout. The toolkit lays the controls out in the order
// given, which is also the tab order: a static text with a buddy labels
// that control on its row; a group box frames what follows it up to the
// next static text without a buddy; push buttons form the row along the
// bottom, Close (id 2) at its right, and a check box that follows one stands
// just above that row.
struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;
    bool tabStop;
    bool disabled; // initially
    int buddy = 0; // for a static text: the control it labels, 0: none
    bool wrap = false; // a static text whose lines wrap at the window's width
};

struct DialogTemplate {
    int id;
    const char* caption;
    // A window the user can resize and maximise, no smaller than this (in
    // pixels, as far as the screen allows); 0: fixed to what its controls
    // need.
    int minWidth, minHeight;
    std::span<const ControlTemplate> controls;
};

// The layout with that id, or null.
const DialogTemplate* FindDialogTemplate(int id);

struct MenuItemTemplate {
    int command;
    const char* text;
};

// The first pop-up of a menu resource, or an empty span.
std::span<const MenuItemTemplate> FindPopupMenu(int menuId);

// A string resource; empty when there is none.
std::string_view LoadResourceString(int id);

} // namespace pemblor
