// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDI_DORMIVEL 5
#define IDD_COUNTDOWN 101
#define IDD_MAIN 103
#define IDM_TRAY 105

#define IDC_COUNTDOWN_PROGRESS 1002
#define IDC_COUNTDOWN_CLOCK 1003
#define IDC_UPCOMING_LIST 1004
#define IDC_SLEEP_WHEN 1007
#define IDC_SLEEP_METHOD 1008

#define IDM_TRAY_TEST_WAKE 40001
#define IDM_TRAY_CLOSE 57665
