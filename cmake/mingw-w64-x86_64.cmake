# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 GCC (posix thread model).
# Test executables run through Wine (scripts/wine-run), so ctest works on Linux.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QS_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QS_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QS_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QS_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
