# The product: 32-bit Windows. Compiled and linked only; never executed here.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZEQ_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
