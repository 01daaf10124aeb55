# The native tree (ZEQ_NATIVE): clang on this machine, everything under
# AddressSanitizer and UndefinedBehaviorSanitizer, and every library
# instrumented for libFuzzer's coverage so the harnesses see inside it.
# Included by the top-level CMakeLists.txt after zeq_options is made.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "the native build needs clang (tools/native.sh chooses it)")
endif()
enable_testing()

# Windows programs link statically; a sanitized native program cannot.
set_property(TARGET zeq_options PROPERTY INTERFACE_LINK_OPTIONS "")

if(ZEQ_SANITIZE)
  # Undefined behaviour ends the program as a memory fault does, so tests
  # and harnesses fail on it instead of printing and going on.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
                      -fsanitize=fuzzer-no-link)
  add_link_options(-fsanitize=address,undefined)
else()
  add_compile_options(-O2)
endif()
