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
// Devices page.
inline constexpr int IDD_DEVICE_NAME_EDIT = 137;
inline constexpr int IDC_DEVICE_NAME_EDIT = 1005;
inline constexpr int IDC_EDIT_DEVICE_NAME = 1079;
inline constexpr int IDC_DEVICE_DOWN = 1084;
inline constexpr int IDC_DEVICE_UP = 1085;
inline constexpr int IDC_DEVICES_APPLY = 1086;
inline constexpr int IDC_DEVICES_HINT = 1087;
// Channels pages.
inline constexpr int IDD_CHANNEL_NAME_EDIT = 138;
inline constexpr int IDC_CHANNEL_NAME_EDIT = 1021;
inline constexpr int IDC_ASIO_NAME_OPTION = 1027;
inline constexpr int IDC_EDIT_CHANNEL_NAME = 1080;
inline constexpr int IDC_HARDWARE_NAME = 1081;
inline constexpr int IDC_HARDWARE_NAME_LABEL = 1082;
// Streams page.
inline constexpr int IDC_STREAM_REPORT = 1040;
// Synchronisation page.
inline constexpr int IDD_DEVICE_SYNCH = 147;
inline constexpr int IDC_SAMPLE_RATE_COMBO = 1044;
inline constexpr int IDC_SYNC_APPLY = 1070;
inline constexpr int IDC_CHANGE_SYNC_MODE = 1071;
inline constexpr int IDC_RATE_APPLY = 1073;
inline constexpr int IDC_RATE_MANUAL = 1088;
inline constexpr int IDC_RATE_AUTOMATIC = 1089;
// Settings page (buffers).
inline constexpr int IDC_STREAM_SLIDER = 1048;
inline constexpr int IDC_STREAM_TEXT = 1050;
inline constexpr int IDC_STREAM_APPLY = 1051;
inline constexpr int IDC_ASIO_SLIDER = 1053;
inline constexpr int IDC_ASIO_TEXT = 1054;
inline constexpr int IDC_ASIO_APPLY = 1035;
inline constexpr int IDC_WDM_SLIDER = 1056;
inline constexpr int IDC_WDM_TEXT = 1057;
inline constexpr int IDC_WDM_APPLY = 1055;
inline constexpr int IDC_DROPOUTS_TEXT = 1038;
inline constexpr int IDC_STREAM_LABEL = 1058;
inline constexpr int IDC_ASIO_LABEL = 1059;
inline constexpr int IDC_WDM_LABEL = 1060;

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
