// Resource names and control ids shared by resources/setup.rc and the window code.
// The values are the ones the dialog template fixes.
#ifndef ZOPPEL_RESOURCE_IDS_H
#define ZOPPEL_RESOURCE_IDS_H

// Named resources: the dialog template and the icon group are found by name.
#define SETUP_DIALOG_NAME "DLG_SETUP"

// Controls of DLG_SETUP besides IDOK (1, Continue) and IDCANCEL (2, Cancel).
#define IDC_INSTALL_DIR 1000
#define IDC_START_MENU 1002
#define IDC_PROMPT 1005
#define IDC_STATUS 1006
#define IDC_DONE_TEXT 1007
#define IDC_EXIT 1009
#define IDC_BROWSE 1008

#endif
