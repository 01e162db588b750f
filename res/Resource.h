#pragma once
// Numeric resource ids: dialog templates, controls, menus, commands, strings, icons and
// bitmaps. Window code addresses every resource through these names.

// Dialog templates.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_QUARROW_DIALOG = 107;
inline constexpr int IDD_NOTIFY = 134;
inline constexpr int IDD_NEW_REGISTRATION = 138;
inline constexpr int IDD_SELECT_SERVER = 139;
inline constexpr int IDD_CLOSING = 159;
inline constexpr int IDD_COMPONENTS = 166;
inline constexpr int IDD_EXPORT_SIMPLE = 34075;
inline constexpr int IDD_EXPORT_COLUMNS = 34215;

// Icons, bitmaps, menus.
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDR_MENU_MAIN = 129;
inline constexpr int IDB_TREE_IMAGES = 144;
inline constexpr int IDR_MENU_TREE = 157;
inline constexpr int IDR_MENU_RESULTS = 158;
inline constexpr int IDI_MOVE_UP = 34038;
inline constexpr int IDI_MOVE_DOWN = 34216;

// Standard dialog buttons.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
// Labels and lines that no code addresses.
inline constexpr int IDC_STATIC = -1;

// Controls of template 107.
inline constexpr int IDC_NAMED = 1004;
inline constexpr int IDC_LOOKIN_TREE = 1005;
inline constexpr int IDC_ALL_OBJECTS = 1006;
inline constexpr int IDC_FIND_CREATED = 1007;
inline constexpr int IDC_BETWEEN = 1008;
inline constexpr int IDC_MONTHS = 1011;
inline constexpr int IDC_DAYS = 1012;
inline constexpr int IDC_DATE_FROM = 1013;
inline constexpr int IDC_DATE_TO = 1014;
inline constexpr int IDC_PREVIOUS_MONTHS = 1015;
inline constexpr int IDC_PREVIOUS_DAYS = 1016;
inline constexpr int IDC_TAB = 1017;
inline constexpr int IDC_FIND_NOW = 1018;
inline constexpr int IDC_NEW_SEARCH = 1019;
inline constexpr int IDC_RESULT_LIST = 1020;
inline constexpr int IDC_SIZE_IS = 1021;
inline constexpr int IDC_CONTAINING_TEXT = 1022;
inline constexpr int IDC_TYPE = 1023;
inline constexpr int IDC_STOP = 1024;
inline constexpr int IDC_NAMED_LABEL = 1025;
inline constexpr int IDC_LOOKIN_LABEL = 1026;
inline constexpr int IDC_BYTES_LABEL = 1027;
inline constexpr int IDC_SIZE_LABEL = 1028;
inline constexpr int IDC_CONTAINING_LABEL = 1029;
inline constexpr int IDC_SIZE = 1030;
inline constexpr int IDC_TYPE_LABEL = 1031;
inline constexpr int IDC_AND_LABEL = 1032;
inline constexpr int IDC_DAYS_LABEL = 1033;
inline constexpr int IDC_MONTHS_LABEL = 1034;
inline constexpr int IDC_MATCH_CASE = 1035;
inline constexpr int IDC_SEPARATOR_LINE = 1054;
inline constexpr int IDC_REGULAR_EXPRESSION = 1056;
inline constexpr int IDC_STATUS_BAR = 32500;
// The script preview below the result list, built in code.
inline constexpr int IDC_PREVIEW = 1070;
inline constexpr int IDC_PREVIEW_TEXT = 1071;
inline constexpr int IDC_PREVIEW_PREVIOUS = 1072;
inline constexpr int IDC_PREVIEW_NEXT = 1073;
inline constexpr int IDC_PREVIEW_SPLITTER = 1074;

// Controls of the registration dialogs (templates 138 and 139).
inline constexpr int IDC_REG_SERVER = 1036;
inline constexpr int IDC_REG_LOGIN_NAME = 1037;
inline constexpr int IDC_REG_PASSWORD = 1038;
inline constexpr int IDC_REG_BROWSE = 1039;
inline constexpr int IDC_SERVER_LIST = 1041;
inline constexpr int IDC_REG_WINDOWS_AUTH = 1043;
inline constexpr int IDC_REG_SQL_AUTH = 1044;
// The live connection's encryption, below the original controls.
inline constexpr int IDC_REG_ENCRYPTION = 1070;
inline constexpr int IDC_REG_TRUST_CERTIFICATE = 1071;

// Controls of the export panels (templates 34075 and 34215).
inline constexpr int IDC_MOVE_UP = 261;
inline constexpr int IDC_MOVE_DOWN = 262;
inline constexpr int IDC_COLUMN_SEPARATOR = 34057;
inline constexpr int IDC_ROW_SEPARATOR = 34058;
inline constexpr int IDC_SELECTION_ONLY = 34059;
inline constexpr int IDC_OPEN_EXPORT_FILE = 34060;
inline constexpr int IDC_COLUMN_LIST = 34061;
inline constexpr int IDC_DEFAULT_COLUMNS = 34064;
inline constexpr int IDC_LAST_EXPORT_COLUMNS = 34065;

// Commands.
inline constexpr int IDM_ABOUTBOX = 16;
inline constexpr int ID_NEW_REGISTRATION = 32773;
inline constexpr int ID_REMOVE_SERVER = 32774;
inline constexpr int ID_WEB_HOME_PAGE = 32780;
inline constexpr int ID_WEB_PRODUCT_NEWS = 32781;
inline constexpr int ID_WEB_FEEDBACK = 32782;
inline constexpr int ID_VIEW_SOURCE = 32784;
inline constexpr int ID_EXPORT = 32787;
inline constexpr int ID_VIEW_PREVIEW = 32800;
inline constexpr int ID_NEXT_MATCH = 32801;
inline constexpr int ID_PREVIOUS_MATCH = 32802;
inline constexpr int ID_TAKE_SNAPSHOT = 32790;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_HELP_FINDER = 57670;
// Commands from here on are the system's own; they stay enabled without a handler.
inline constexpr int ID_FIRST_SYSTEM_COMMAND = 61440;

// Strings.
inline constexpr int IDP_OLE_INIT_FAILED = 100;
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDS_SEP_CRLF = 34007;
inline constexpr int IDS_SEP_NEWLINE = 34009;
inline constexpr int IDS_SEP_SPACE = 34013;
inline constexpr int IDS_LAST_EXPORT = 34015;
inline constexpr int IDS_LAST_COLSEP = 34017;
inline constexpr int IDS_LAST_ROWSEP = 34018;
inline constexpr int IDS_SELECTED_SUFFIX = 34020;
inline constexpr int IDS_EXPORT_FILTER = 34126;
inline constexpr int AFX_IDS_IDLEMESSAGE = 57345;
inline constexpr int AFX_IDP_PARSE_STRING_SIZE = 61716;
