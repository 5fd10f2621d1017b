#include "resources/DialogTemplate.h"
#include "resources/ResourceIds.h"
#include "common/Translatable.h"

#include <array>

namespace pemblor {
namespace {

using K = ControlKind;

constexpr std::array<ControlTemplate, 4> kAbout{{
    {IDC_STATIC, K::Icon, "", 11, 17, 20, 20, false, false},
    {IDC_STATIC, K::Static, PEMBLOR_TR_NOOP("Pemblor", "Pemblor Version 1.0"), 40, 10, 119, 8, false, false},
    {IDC_STATIC, K::Static, PEMBLOR_TR_NOOP("Pemblor", "Sets up access point addresses"), 40, 25, 119, 8, false, false},
    {IDOK, K::DefPushButton, PEMBLOR_TR_NOOP("Pemblor", "OK"), 178, 7, 50, 14, true, false},
}};

constexpr std::array<ControlTemplate, 5> kDeviceList{{
    {IDC_BTN_DISCOVER, K::DefPushButton, PEMBLOR_TR_NOOP("Pemblor", "Discover"), 7, 134, 50, 14, true, false},
    {IDCANCEL, K::PushButton, PEMBLOR_TR_NOOP("Pemblor", "Close"), 226, 134, 50, 14, true, false},
    {IDC_BTN_SETUPIP, K::PushButton, PEMBLOR_TR_NOOP("Pemblor", "Setup IP"), 69, 134, 50, 14, true, true},
    // A list shows no text of its own: this one is its accessible name.
    {IDC_LIST_DEVICES, K::List, PEMBLOR_TR_NOOP("Pemblor", "Devices"), 7, 7, 269, 119, true, false},
    {IDC_BTN_WEBSERVER, K::PushButton, PEMBLOR_TR_NOOP("Pemblor", "Connect to Web Server"), 131, 134, 83, 14, true,
     true},
}};

constexpr std::array<ControlTemplate, 15> kSetupIp{{
    {IDC_BTN_APPLY, K::DefPushButton, PEMBLOR_TR_NOOP("Pemblor", "&Apply Changes"), 23, 160, 60, 14, true, true},
    {IDCANCEL, K::PushButton, PEMBLOR_TR_NOOP("Pemblor", "&Close"), 141, 160, 50, 14, true, false},
    {IDC_STATIC, K::Static, PEMBLOR_TR_NOOP("Pemblor", "IP Address: "), 21, 48, 39, 8, false, false},
    {IDC_IP_ADDRESS, K::IpAddress, "", 85, 44, 100, 12, true, true},
    {IDC_STATIC, K::Static, PEMBLOR_TR_NOOP("Pemblor", "Netmask: "), 21, 67, 33, 8, false, false},
    {IDC_STATIC, K::Static, PEMBLOR_TR_NOOP("Pemblor", "Default Gateway: "), 21, 86, 58, 8, false, false},
    {IDC_IP_NETMASK, K::IpAddress, "", 85, 63, 100, 12, true, true},
    {IDC_IP_GATEWAY, K::IpAddress, "", 85, 82, 100, 12, true, true},
    {IDC_STATIC, K::GroupBox, PEMBLOR_TR_NOOP("Pemblor", "IP Address"), 7, 7, 193, 142, false, false},
    {IDC_STATIC, K::Static, PEMBLOR_TR_NOOP("Pemblor", "User Name:"), 21, 105, 38, 8, false, false},
    {IDC_STATIC, K::Static, PEMBLOR_TR_NOOP("Pemblor", "Password:"), 21, 124, 47, 8, false, false},
    {IDC_EDIT_USERNAME, K::Edit, "", 85, 101, 100, 14, true, true},
    {IDC_EDIT_PASSWORD, K::PasswordEdit, "", 85, 122, 100, 14, true, true},
    {IDC_CHK_DHCP, K::CheckBox, PEMBLOR_TR_NOOP("Pemblor", "DHCP Client Enabled"), 21, 25, 83, 10, true, false},
    {IDC_TEXT_PROGRESS, K::Static, "", 7, 150, 198, 9, false, false},
}};

constexpr std::array<DialogTemplate, 3> kDialogs{{
    {IDD_ABOUTBOX, PEMBLOR_TR_NOOP("Pemblor", "About Pemblor"), 235, 55, "MS Sans Serif", 8, kAbout},
    {IDD_DEVICELIST, PEMBLOR_TR_NOOP("Pemblor", "Quarnel Access Point Configuration Tool"), 284, 152,
     "Microsoft Sans Serif", 10, kDeviceList},
    {IDD_SETUPIP, PEMBLOR_TR_NOOP("Pemblor", "Setup IP Address"), 212, 181, "Microsoft Sans Serif", 8,
     kSetupIp},
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
