// Identifiers of the host application's resources and commands.
#pragma once

#define IDD_OPTIONS 100
#define IDD_CUSTOMIZE 101
#define IDC_TOLERANCE 1001
#define IDC_COMMANDS 1002
#define IDC_TOLERANCE_UNITS 1003

#define ID_OPEN_MAP 40001
#define ID_EXIT 40002
#define ID_TOOL_PANZOOM 40003
#define ID_TOOL_PICTURE 40004
#define ID_FULL_EXTENT 40005
#define ID_OPTIONS 40006
#define ID_CUSTOMIZE 40007
