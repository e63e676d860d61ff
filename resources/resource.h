/* Resource and control identifiers, shared by the resource script and the
   code. The radio-button ids double as the axis and pivot codes stored in
   the filter's parameter block. */
#pragma once

#define IDD_ABOUT 101
#define IDD_SETUP 102
#define IDB_LOGO 103
#define IDB_PREVIEW_FIRST 104 /* 104 to 112: X lower, X centre, ..., Z upper */

#define IDC_PREVIEW_FIRST 1001 /* 1001 to 1009 show bitmaps 104 to 112 */
#define IDC_PREVIEW_LAST 1009

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
