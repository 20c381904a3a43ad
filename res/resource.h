// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDD_LAUNCHER_DIALOG 102
#define IDR_MAINFRAME 128
#define IDC_PROGRESS 1002
