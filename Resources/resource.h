// Resource and control ids shared by the templates and the code.
#pragma once

// Dialogs and the menu.
#define IDD_MAIN 103
#define IDR_MAIN_MENU 103
#define IDD_ABOUT 109
#define IDD_COPY_PROGRESS 114
#define IDD_DELETING 115
#define IDD_CALCULATING_SIZE 116
#define IDD_COPY_BUSY 117

// Menu commands.
#define IDM_ABOUT 101
#define IDM_EXIT 102

// Controls of the main window.
#define IDC_FOLDER_TREE 1000
#define IDC_FILE_LIST 1001
#define IDC_NEW_FOLDER 1002
#define IDC_DELETE 1003
#define IDC_UP 1004
#define IDC_REFRESH 1005
#define IDC_STATUS_LINE 1006
#define IDC_WEB_LINE 1008
#define IDC_PATH_LINE 1010
#define IDC_SPLITTER 1011
#define IDC_DEVICE_LIST 1018
#define IDC_LOCATIONS_LIST 1019

// Controls of the small dialogs.
#define IDC_COPY_PROGRESS_BAR 1012
#define IDC_COPY_STATUS_TEXT 1013
#define IDC_DELETING_TEXT 1014
#define IDC_CALCULATING_TEXT 1015
#define IDC_COPY_BUSY_TEXT 1016

// Icons.
#define IDI_PROGRAM 100
#define IDI_NEW_FOLDER 104
#define IDI_DELETE 105
#define IDI_UP 106
#define IDI_DELETE_DISABLED 110
#define IDI_NEW_FOLDER_DISABLED 111
#define IDI_UP_DISABLED 112
#define IDI_ABOUT 120
#define IDI_IPAD 124
#define IDI_IPHONE 125
#define IDI_EDITION_4 126
#define IDI_EDITION 127
#define IDI_REFRESH 130
#define IDI_REFRESH_DISABLED 131

// The context menus of the file list (popup 0) and the folder tree (popup 1), and their commands.
#define IDR_CONTEXT_MENUS 140
#define IDM_OPEN 2001
#define IDM_SAVE_TO 2002
#define IDM_COPY 2003
#define IDM_PASTE 2004
#define IDM_NEW_FOLDER 2005
#define IDM_RENAME 2006
#define IDM_DELETE 2007
#define IDM_REFRESH 2008
#define IDM_ADD_FILES 2009
#define IDM_ADD_FOLDER 2010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
