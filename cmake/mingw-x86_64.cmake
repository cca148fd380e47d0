# The x64 edition: 64-bit Windows, run under Wine's 64-bit loader itself: Debian's wine wrapper would
# pick the 32-bit one whenever it is installed, even where it cannot run.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOVAREL_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(WINE_PROGRAM wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
