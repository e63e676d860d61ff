/* Resource and control identifiers, shared by the resource script and the
   code. The radio-button ids double as the axis and pivot codes stored in
   the filter's parameter block. */
#pragma once

#define IDD_ABOUT 101
#define IDD_SETUP 102
#define IDB_LOGO 103

/* Preview bitmaps and the statics that show them, one per axis and pivot
   pair, in the order X lower, X centre, X upper, Y lower, ..., Z upper. */
#define IDB_PREVIEW_X_LOWER 104
#define IDB_PREVIEW_X_CENTER 105
#define IDB_PREVIEW_X_UPPER 106
#define IDB_PREVIEW_Y_LOWER 107
#define IDB_PREVIEW_Y_CENTER 108
#define IDB_PREVIEW_Y_UPPER 109
#define IDB_PREVIEW_Z_LOWER 110
#define IDB_PREVIEW_Z_CENTER 111
#define IDB_PREVIEW_Z_UPPER 112

#define IDC_PREVIEW_X_LOWER 1001
#define IDC_PREVIEW_X_CENTER 1002
#define IDC_PREVIEW_X_UPPER 1003
#define IDC_PREVIEW_Y_LOWER 1004
#define IDC_PREVIEW_Y_CENTER 1005
#define IDC_PREVIEW_Y_UPPER 1006
#define IDC_PREVIEW_Z_LOWER 1007
#define IDC_PREVIEW_Z_CENTER 1008
#define IDC_PREVIEW_Z_UPPER 1009
#define IDC_PREVIEW_FIRST IDC_PREVIEW_X_LOWER
#define IDC_PREVIEW_LAST IDC_PREVIEW_Z_UPPER

#define IDC_AXIS_X 1010
#define IDC_AXIS_Y 1011
#define IDC_AXIS_Z 1012
#define IDC_PIVOT_LOWER 1013
#define IDC_PIVOT_CENTER 1014
#define IDC_PIVOT_UPPER 1015

#define IDC_START_EDIT 1028
#define IDC_END_EDIT 1029
#define IDC_START_SPINNER 1048
#define IDC_END_SPINNER 1049
