// Where the main dialog's template places the window's controls, read on the screen.
#pragma once

#include <windows.h>

// The window rectangle of the control with this id, in screen coordinates.
bool ScreenRectOfControl(HWND window, int id, RECT* rect);
// The client rectangle, on the screen, that the template places its controls in.
bool ScreenRectOfTemplateClient(HWND window, RECT* rect);
