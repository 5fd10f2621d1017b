#include "resources/DialogTemplate.h"
#include "resources/ResourceIds.h"
#include "common/Translatable.h"

#include <array>

namespace pemblor {
namespace {

using K = ControlKind;

constexpr std::array<ControlTemplate, 4> kAbout{{
    {IDC_STATIC, K::Icon, "", false, false},
    {IDC_STATIC, K::Static, PEMBLOR_TR_NOOP("Pemblor", "Pemblor Version 1.0"), false, false},
    {IDC_STATIC, K::Static, PEMBLOR_TR_NOOP("Pemblor", "Sets up access point addresses"), false, false},
    {IDOK, K::DefPushButton, PEMBLOR_TR_NOOP("Pemblor", "OK"), true, false},
}};

constexpr std::array<ControlTemplate, 6> kDeviceList{{
    // A list shows no text of its own: this one is its accessible name.
    {IDC_LIST_DEVICES, K::List, PEMBLOR_TR_NOOP("Pemblor", "Devices"), true, false},
    {IDC_BTN_DISCOVER, K::DefPushButton, PEMBLOR_TR_NOOP("Pemblor", "Discover"), true, false},
    {IDC_BTN_SETUPIP, K::PushButton, PEMBLOR_TR_NOOP("Pemblor", "Setup IP"), true, true},
    {IDC_BTN_WEBSERVER, K::PushButton, PEMBLOR_TR_NOOP("Pemblor", "Connect to Web Server"), true, true},
    {IDC_CHK_KEEP_DISCOVERING, K::CheckBox, PEMBLOR_TR_NOOP("Pemblor", "Keep discovering"), true, false},
    {IDCANCEL, K::PushButton, PEMBLOR_TR_NOOP("Pemblor", "Close"), true, false},
}};

constexpr std::array<ControlTemplate, 16> kSetupIp{{
    {IDC_TEXT_DEVICE, K::Static, "", false, false},
    {IDC_STATIC, K::GroupBox, PEMBLOR_TR_NOOP("Pemblor", "IP Address"), false, false},
    {IDC_CHK_DHCP, K::CheckBox, PEMBLOR_TR_NOOP("Pemblor", "DHCP Client Enabled"), true, false},
    {IDC_STATIC, K::Static, PEMBLOR_TR_NOOP("Pemblor", "IP Address: "), false, false, IDC_IP_ADDRESS},
    {IDC_IP_ADDRESS, K::IpAddress, "", true, true},
    {IDC_STATIC, K::Static, PEMBLOR_TR_NOOP("Pemblor", "Netmask: "), false, false, IDC_IP_NETMASK},
    {IDC_IP_NETMASK, K::IpAddress, "", true, true},
    {IDC_STATIC, K::Static, PEMBLOR_TR_NOOP("Pemblor", "Default Gateway: "), false, false, IDC_IP_GATEWAY},
    {IDC_IP_GATEWAY, K::IpAddress, "", true, true},
    {IDC_STATIC, K::Static, PEMBLOR_TR_NOOP("Pemblor", "User Name:"), false, false, IDC_EDIT_USERNAME},
    {IDC_EDIT_USERNAME, K::Edit, "", true, true},
    {IDC_STATIC, K::Static, PEMBLOR_TR_NOOP("Pemblor", "Password:"), false, false, IDC_EDIT_PASSWORD},
    {IDC_EDIT_PASSWORD, K::PasswordEdit, "", true, true},
    {IDC_TEXT_PROGRESS, K::Static, "", false, false, 0, true},
    {IDC_BTN_APPLY, K::DefPushButton, PEMBLOR_TR_NOOP("Pemblor", "&Apply Changes"), true, true},
    {IDCANCEL, K::PushButton, PEMBLOR_TR_NOOP("Pemblor", "&Close"), true, false},
}};

constexpr std::array<DialogTemplate, 3> kDialogs{{
    {IDD_ABOUTBOX, PEMBLOR_TR_NOOP("Pemblor", "About Pemblor"), 0, 0, kAbout},
    {IDD_DEVICELIST, PEMBLOR_TR_NOOP("Pemblor", "Quarnel Access Point Configuration Tool"), 753, 285, kDeviceList},
    {IDD_SETUPIP, PEMBLOR_TR_NOOP("Pemblor", "Setup IP Address"), 0, 0, kSetupIp},
}};

constexpr std::array<MenuItemTemplate, 3> kListMenu{{
    {ID_SETUP_IP, PEMBLOR_TR_NOOP("Pemblor", "Setup IP ...")},
    {ID_CONNECT_WEB, PEMBLOR_TR_NOOP("Pemblor", "Connect to web server ...")},
    {ID_EXPORT_LIST, PEMBLOR_TR_NOOP("Pemblor", "Export list...")},
}};

} // namespace

const DialogTemplate* FindDialogTemplate(int id)
{
    for (const DialogTemplate& dialog : kDialogs) {
        if (dialog.id == id)
            return &dialog;
    }
    return nullptr;
}

std::span<const MenuItemTemplate> FindPopupMenu(int menuId)
{
    if (menuId == IDR_LISTMENU)
        return kListMenu;
    return {};
}

std::string_view LoadResourceString(int id)
{
    switch (id) {
    case IDS_ABOUTBOX:
        return PEMBLOR_TR_NOOP("Pemblor", "&About Pemblor...");
    case IDP_SOCKETS_INIT_FAILED:
        return PEMBLOR_TR_NOOP("Pemblor", "Windows sockets initialization failed.");
    default:
        return {};
    }
}

} // namespace pemblor
