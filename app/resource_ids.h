// Identifiers of the dialogs, their controls, strings and pictures. The templates in
// resources/dialogs name the same controls; main_dlg looks them up by these numbers.
#pragma once

#include "engine/job_ids.h"

constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_MAIN = 102;
constexpr int IDR_MAINFRAME = 128;
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDM_ABOUTBOX = 0x0010;

constexpr int IDC_DRIVE = 1000;
constexpr int IDC_FILENAME = 1001;
constexpr int IDC_BROWSE = 1002;
constexpr int IDC_PROGRESS = 1005;
// IDC_STATUS (1006) comes with the job's identifiers.
constexpr int IDC_COMPRESSION = 1011;
constexpr int IDC_AUTOCLOSE = 1012;
constexpr int IDC_OP_COMPRESS = 1013;
constexpr int IDC_OP_EXPAND = 1014;
constexpr int IDC_OP_VERIFY = 1015;
constexpr int IDC_START = 1017;
constexpr int IDC_ANIMATION = 1019;
constexpr int IDC_VERSION = 1020;
constexpr int ID_HELP = 57670;
constexpr int IDOK_BUTTON = 1;  // IDOK as a control identifier
constexpr int IDCANCEL_BUTTON = 2;

// Pictures: the two bitmaps beside the input labels and the animation icons.
constexpr int IDB_FILE = 130;
constexpr int IDB_DRIVE = 131;
constexpr int IDI_FRAME0 = 146;

constexpr int ANIMATION_TIMER_ID = 100;
