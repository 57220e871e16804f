/* Resource ids of quorin.exe. Included by the resource scripts and by C++ code. */
#ifndef QUORIN_RESOURCE_H
#define QUORIN_RESOURCE_H

/* Dialogs, menu, accelerators, icon */
#define IDD_ABOUT          100
#define IDD_MAIN           101
#define IDD_PROGRESS       104
#define IDR_MAIN_MENU      106
#define IDR_ACCELERATORS   107
#define IDD_REGISTER_CLASS 108
#define IDI_QUORIN         110

/* String table */
#define IDS_AUTHOR_MAIL        132
#define IDS_AUTHOR_WEB         133
#define IDS_KEY_DESCRIPTION    134
#define IDS_KEY_COPYRIGHT      135
#define IDS_KEY_COMMENTS       136
#define IDS_UNEXPECTED_ERROR   154
#define IDS_CONFIRM_CANCEL     155
#define IDS_DISK_TOO_SMALL     156
#define IDS_DISK_SPACE_UNKNOWN 157
#define IDS_RUN_STOPPED        158
#define IDS_NOT_SMF            159
#define IDS_OPEN_FAILED        160
#define IDS_OPEN_FILTER        161
#define IDS_TOO_MANY_FILES     162
#define IDS_ASK_BROWSER        163
#define IDS_CAPTION_ERROR      164
#define IDS_CAPTION_CONFIRM    165
#define IDS_CAPTION_WARNING    166
#define IDS_CAPTION_INFO       167
#define IDS_WRITE_FAILED       168
#define IDS_READ_FAILED        169
#define IDS_OUT_OF_MEMORY      170
#define IDS_RESTORE_FAILED     171

/* Main window (dialog 101) */
#define IDC_RUNNING_STATUS 1000

/* Progress dialog (dialog 104) */
#define IDC_PROGRESS  1002
#define IDC_FILE_NAME 1003

/* About box (dialog 100); 134-136 share the ids of the version key names */
#define IDC_DESCRIPTION    134
#define IDC_COPYRIGHT      135
#define IDC_COMMENTS       136
#define IDC_MAIL           1001
#define IDC_WEB            1002
#define IDC_SHOW_IN_FOLDER 1003
#define IDC_EXE_PATH       1005

/* Commands */
#define IDM_OPEN           1
#define IDM_EXIT           40001
#define IDM_ABOUT          40002
#define IDM_HELP_CONTENTS  40003
#define IDM_RUNNING_STATUS 40004

#endif
