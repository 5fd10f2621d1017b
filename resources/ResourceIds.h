#pragma once

namespace pemblor {

// Dialog layouts
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_DEVICELIST = 102;
inline constexpr int IDD_SETUPIP = 129;

// Icon and menu
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDR_LISTMENU = 134;

// Strings
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDP_SOCKETS_INIT_FAILED = 103;

// Commands
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr unsigned IDM_ABOUTBOX = 0x0010;
inline constexpr int ID_SETUP_IP = 32774;
inline constexpr int ID_CONNECT_WEB = 32775;
inline constexpr int ID_EXPORT_LIST = 32776;

// Device list window (102)
inline constexpr int IDC_BTN_SETUPIP = 1000;
inline constexpr int IDC_LIST_DEVICES = 1001;
inline constexpr int IDC_BTN_DISCOVER = 1002;
inline constexpr int IDC_BTN_WEBSERVER = 1010;
inline constexpr int IDC_CHK_KEEP_DISCOVERING = 1030;

// Setup IP dialog (129)
inline constexpr int IDC_IP_ADDRESS = 1004;
inline constexpr int IDC_IP_NETMASK = 1007;
inline constexpr int IDC_IP_GATEWAY = 1008;
inline constexpr int IDC_CHK_DHCP = 1011;
inline constexpr int IDC_EDIT_USERNAME = 1017;
inline constexpr int IDC_EDIT_PASSWORD = 1018;
inline constexpr int IDC_BTN_APPLY = 1020;
// What the dialog is waiting for, and the time left, during the reboot wait
// and the re-read; empty otherwise.
inline constexpr int IDC_TEXT_PROGRESS = 1021;
// The device edited: "SSID · MAC · interface".
inline constexpr int IDC_TEXT_DEVICE = 1022;

inline constexpr int IDC_STATIC = -1;

} // namespace pemblor
