// Identifiers of the dialog program's resources and of the upgrade dialog's controls.
#pragma once

#define IDS_MAIN_TITLE 103
#define IDI_MAIN_ICON 107
#define IDI_MAIN_SMALL_ICON 108
#define IDS_MAIN_CLASS 109
#define IDD_UPGRADE 131

#define IDC_LOAD_IMAGE 1004
#define IDC_PROGRESS 1006
#define IDC_BROWSE 1008
#define IDC_STAGE_TEXT 1009
#define IDC_IMAGE_PATH 1010
#define IDC_DEVICE_STATUS 1012
#define IDC_VERSION_TEXT 1013

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
