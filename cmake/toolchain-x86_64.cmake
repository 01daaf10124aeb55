# x86_64 Windows twin of the product; its tests run under wine64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZEQ_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZEQ_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEQ_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEQ_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZEQ_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# A crash must end the test at once: with the debugger disabled a faulting
# process exits instead of waiting on a dialog.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env WINEDEBUG=-all WINEDLLOVERRIDES=winedbg.exe=d /usr/lib/wine/wine64)
