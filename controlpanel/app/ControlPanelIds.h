#pragma once
// Message codes, command ids, resource ids and control ids of the control panel.

// Private window messages (application base 0x8000 + n).
inline constexpr unsigned UM_SHOW_SETTINGS_PAGE = 0x8001;  // main frame: select "Settings"
inline constexpr unsigned UM_DRIVER_EVENT = 0x8002;        // view: drain the driver's events
inline constexpr unsigned UM_TRAY_NOTIFY = 0x8003;         // main frame: mouse on the tray icon

// Commands.
inline constexpr int ID_TRAY_OPEN = 32771;
inline constexpr int ID_TRAY_QUIT = 32772;
inline constexpr int ID_HIDE = 32773;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;

// Mouse messages the tray icon reports with UM_TRAY_NOTIFY.
// (Named apart from the platform's macros.)
inline constexpr unsigned kWmLButtonDown = 0x0201;
inline constexpr unsigned kWmLButtonDblClk = 0x0203;
inline constexpr unsigned kWmRButtonDown = 0x0204;
inline constexpr unsigned kWmRButtonDblClk = 0x0206;
inline constexpr unsigned kWmMButtonDown = 0x0207;

// The tray icon's identifier.
inline constexpr unsigned kTrayIconId = 0x42424242;

// Resources.
inline constexpr int IDR_MAINFRAME = 128;  // program icon, main menu
inline constexpr int IDR_TRAY_MENU = 150;
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_CPL_FORM = 101;
inline constexpr int IDD_PG_ASIO_SETTINGS = 103;
inline constexpr int IDD_PG_DEVICES = 104;
inline constexpr int IDD_PG_CHANNELS = 105;
inline constexpr int IDD_PG_STREAMS = 143;
inline constexpr int IDD_PG_SYNCHRONISATION = 145;
// Tree images, in image-list order.
inline constexpr int kTreeIconIds[6] = {130, 131, 132, 135, 136, 146};

// Controls.
inline constexpr int kIdOk = 1;
inline constexpr int IDC_TREE = 1000;
inline constexpr int IDC_ABOUT_TEXT = 1062;
inline constexpr int AFX_IDW_STATUS_BAR = 59393;
inline constexpr int IDC_DEVICE_LIST = 1001;
inline constexpr int IDC_CHANNEL_LIST = 1007;
inline constexpr int IDC_STREAM_LIST = 1039;
inline constexpr int IDC_CLOCK_LIST = 1063;

// Tree item data: the page in the top byte.
inline constexpr unsigned kPageSettings = 0x11000000;
inline constexpr unsigned kPageDevices = 0x12000000;
inline constexpr unsigned kPageInputChannels = 0x13000000;
inline constexpr unsigned kPageOutputChannels = 0x14000000;
inline constexpr unsigned kPageStreams = 0x16000000;
inline constexpr unsigned kPageSynchronisation = 0x18000000;

// Version shown in the About box.
inline constexpr int kVersionMajor = 6, kVersionMinor = 11, kVersionBuild = 0;

// Texts used in more than one place.
inline constexpr const char* kWindowTitle = "Drevik Control Panel";
inline constexpr const char* kAppTitle = "Drevik ControlPanel";
inline constexpr const char* kInstanceName = "A5E54AA6-E04A-4dd5-BED7-B72EA29857EB";
