// Resource numbers of the screen saver program, shared by saver.rc and the code.
#pragma once

#define IDI_SAVER 200
#define IDS_SAVER_NAME 1
#define IDD_SETTINGS 300
#define IDC_INTERVAL 301
#define IDC_ORDER 302
#define IDC_FIT 303
#define IDC_TRANSITION 304
#define IDC_MUSIC 305
