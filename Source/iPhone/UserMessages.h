// The message boxes that tell the user what went wrong: owned by the main window, so that they
// stay over it and keep it disabled while they are open.
#pragma once

// A wide warning box owned by the main window (exclamation icon, OK button).
void ShowWarning(const wchar_t* text, const wchar_t* title);
// The same with the error icon.
void ShowError(const wchar_t* text, const wchar_t* title);
