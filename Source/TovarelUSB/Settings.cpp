#include "Settings.h"

void RestoreSettings(HWND) {}
void SaveSettings(HWND) {}
