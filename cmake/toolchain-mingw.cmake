# Common part of the two mingw-w64 toolchains; ZEQ_TRIPLE is set by the caller.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ZEQ_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEQ_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEQ_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZEQ_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Every program links statically: without it an executable needs the
# compiler's DLLs and, under Wine, exits without a word.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
