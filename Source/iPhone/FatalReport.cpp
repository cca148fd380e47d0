#include "FatalReport.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "FatalReportText.h"

const char* FatalModuleName(const char* modulePath)
{
    const char* const unknown = "(unknown)";
    if (!modulePath || !*modulePath) return unknown;
    const char* backslash = strrchr(modulePath, '\\');
    if (!backslash) return modulePath;
    if (backslash[1] == '\0') return unknown;
    return backslash + 1;
}

void FormatFatalReport(char* buffer, size_t size, const char* modulePath, long line)
{
    if (!buffer || size == 0) return;
    if (snprintf(buffer, size, "Module: %s\nline: %ld", FatalModuleName(modulePath), line) < 0) buffer[0] = '\0';
}

// Reached from any thread; the other threads run on while the box is open. Nothing of the
// program's own is released: its state is broken by definition here.
void ReportFatal(const char* modulePath, long line)
{
    char report[1024];
    FormatFatalReport(report, sizeof(report), modulePath, line);
    MessageBoxA(nullptr, report, "TovarelUSB - Fatal Error", MB_ICONERROR | MB_OK);
    ExitProcess(0);
}
