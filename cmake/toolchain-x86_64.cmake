# x86_64 Windows twin of the product; its tests run under wine64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZEQ_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
# A crash must end the test at once: with the debugger disabled a faulting
# process exits instead of waiting on a dialog.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env WINEDEBUG=-all WINEDLLOVERRIDES=winedbg.exe=d /usr/lib/wine/wine64)
