# Cross-compiling for Windows with MinGW-w64 (posix thread model, needed by GoogleTest), for the
# target triple in TOVAREL_MINGW_TRIPLE; included by the two toolchain files, which also name the
# Wine loader that runs the edition's tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TOVAREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOVAREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TOVAREL_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOVAREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
