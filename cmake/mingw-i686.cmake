# The x86 edition: 32-bit Windows, run under Wine's 32-bit loader (through Debian's wine wrapper).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOVAREL_MINGW_TRIPLE i686-w64-mingw32)
find_program(WINE_PROGRAM wine REQUIRED)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
