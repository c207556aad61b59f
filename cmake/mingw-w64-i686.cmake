# Cross-compiles for 32-bit Windows (32-bit Office) with Debian's MinGW-w64 GCC (posix thread model).
# The same sources as the 64-bit build; src/common/uBitness.h holds what differs. Test executables run
# through 32-bit Wine (scripts/wine-run), so ctest works on Linux.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QS_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QS_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QS_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QS_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
# 32-bit __stdcall functions are exported as Name@bytes unless the decoration is removed: COM and
# Office look the Dll* entry points up by their plain names. A .def file that names them plainly is
# matched to the decorated symbols (stdcall fix-up), which the linker does silently when told to.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,--kill-at -Wl,--enable-stdcall-fixup")
