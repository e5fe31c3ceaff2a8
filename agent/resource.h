// Resource identifiers of Krellin.
#pragma once

#define IDS_SERVICENAME 100
#define IDS_APP_TITLE 103
#define IDD_ABOUTBOX 103
#define IDM_ABOUT 104
#define IDM_EXIT_TASKBAR 105
#define IDI_KRELLIN 107
#define IDC_KRELLIN 109
#define IDM_OPEN_CONTROL_PANEL 32771
#define IDM_ALLOW_LATEST_SITE 32772
// One command per entry of the tray menu's "Recently blocked" list.
#define IDM_RECENT_BLOCKED_FIRST 32800
#define IDM_RECENT_BLOCKED_LAST 32819

#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif
