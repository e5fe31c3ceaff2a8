// Resource and command identifiers of the control panel.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_CONTROLPANEL 102
#define IDI_VORNIXUI 128
#define IDC_WEBSITE 1000
#define IDM_ABOUTBOX 0x0010
