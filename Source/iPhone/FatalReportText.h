// The text of the fatal report, apart from the box that shows it.
#pragma once

#include <cstddef>

// The module named in the report: the text after the last backslash of the path, the whole path
// when it has none, "(unknown)" for a null or empty path or one that ends in a backslash. The
// result points into the path or at a constant.
const char* FatalModuleName(const char* modulePath);

// Writes "Module: <name>\nline: <line>" into the buffer (cut to fit); an empty text when formatting
// fails. Safe on any thread: no allocation.
void FormatFatalReport(char* buffer, size_t size, const char* modulePath, long line);
