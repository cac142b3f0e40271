#ifndef BRINDLE_UI_RESOURCE_H
#define BRINDLE_UI_RESOURCE_H
// Resource and control ids of Brindle's windows, shared by the Windows resource scripts, the
// Win32 dialogs and the Qt widgets (which carry the control ids as object names).

// Dialog templates
#define IDD_ABOUTBOX 100
#define IDD_BRINDLE_DIALOG 102

// Icons: the window and list icon, then the class-file icon (the program's second icon,
// which the file association points to as ",1"), then the list's mark of a failed file
#define IDR_MAINFRAME 128
#define IDI_CLASSFILE 133
#define IDI_FAILED 134

// Main window
#define IDC_VIEW_DEFAULT_OUTPUT 1000
#define IDC_VIEWER_SETTINGS 1001
#define IDC_ASSOCIATE 1002
#define IDC_PRODUCED_LIST 1005
#define IDC_SOURCE_FOLDER 1006
#define IDC_OUTPUT_FOLDER 1007
#define IDC_VIEW_OUTPUT 1008
#define IDC_START_BATCH 1009
#define IDC_SOURCE_LABEL 1012
#define IDC_OUTPUT_LABEL 1013
#define IDC_ABOUT 1014

// About box
#define IDC_ABOUT_OK 1014
#define IDC_AUTHOR 1015
#define IDC_HOME_PAGE 1018

#endif
