// Control ids of the operator settings dialog (gwcore.rc, operator_dialog.cpp).
#pragma once

#define IDD_OPERATOR_SETTINGS     2100
#define IDC_OPERATOR_COUNTRY      2101
#define IDC_OPERATOR_NAME         2102
#define IDC_OPERATOR_ACCESS_POINT 2103
#define IDC_OPERATOR_DETAILS      2104
