// Window geometry, pane sizes and column widths remembered under HKCU\Software\Marlquist\TovarelUSB.
#pragma once

#include <windows.h>

void RestoreSettings(HWND window);
void SaveSettings(HWND window);
