#pragma once
// Resource ids shared by PelluxMONITOR.rc and the program. Plain macros,
// because the resource compiler reads this file too.

// imgIcon(0) has the lowest id so that the shell shows it for the file.
#define IDI_IMGICON0 1
#define IDI_IMGICON1 2
#define IDI_IMGICON2 3
#define IDI_IMGICON3 4
#define IDI_IMGICON4 5
#define IDI_CBPELLUX 10
#define IDI_CBLINTARO 11
#define IDR_IMAGE1 20
