// Start-up and shutdown of the process.
#pragma once

#include <windows.h>

// Steps before the main window: store the instance, register the splitter class, bind the device
// library, OLE and common controls, constant strings, clipboard formats, device notices.
bool StartProgram(HINSTANCE instance);
// Everything after the main window has ended, in order.
void StopProgram();
// The six constant strings the device calls need (a failed one is fatal), and their release in the
// same order. Parts of StartProgram and StopProgram.
void MakeConstantStrings();
void ReleaseConstantStrings();
// Frees g_extensionTable: each entry (a heap string, FreeString) up to the count, the entries array
// and the table record, both from the process heap. Part of StopProgram.
void FreeExtensionTable();
// The whole life of the program: start, run the main window modally, stop. Always returns 0.
int RunProgram(HINSTANCE instance);
