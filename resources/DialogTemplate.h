#pragma once
#include <span>
#include <string_view>

namespace pemblor {

enum class ControlKind { PushButton, DefPushButton, Static, GroupBox, Icon, Edit, PasswordEdit, CheckBox, IpAddress, List };

// One control of a layout; positions in dialog units.
struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, cx, cy;
    bool tabStop;
    bool disabled; // initially
};

struct DialogTemplate {
    int id;
    const char* caption;
    int cx, cy; // dialog units
    const char* fontName;
    int pointSize;
    std::span<const ControlTemplate> controls; // in tab order
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
