// The fatal report: the one place every broken invariant ends up.
#pragma once

// Shows "Module: %s\nline: %ld" titled "TovarelUSB - Fatal Error" and ends the process with status 0.
[[noreturn]] void ReportFatal(const char* modulePath, long line);

// Each source folder reports under its own module name; the build marks the device-facing sources.
#if defined(TOVAREL_MODULE_IPHONE)
#define FATAL_MODULE_PATH "Source\\iPhone"
#else
#define FATAL_MODULE_PATH "Source\\TovarelUSB"
#endif

// Always active, in every build.
#define FATAL_CHECK(condition) \
    do { \
        if (!(condition)) ReportFatal(FATAL_MODULE_PATH, __LINE__); \
    } while (0)
