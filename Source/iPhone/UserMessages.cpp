#include "UserMessages.h"

#include "iPhone.h"

void ShowWarning(const wchar_t* text, const wchar_t* title)
{
    MessageBoxW(g_mainWindow, text, title, MB_ICONEXCLAMATION | MB_OK);
}

void ShowError(const wchar_t* text, const wchar_t* title)
{
    MessageBoxW(g_mainWindow, text, title, MB_ICONERROR | MB_OK);
}
