# x86_64 Windows twin of the product; its tests run under wine64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZEQ_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
# The program that runs its executables; the project puts the environment
# of the test runs in front of it.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
