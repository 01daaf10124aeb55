# Google Benchmark (source package `benchmark`) for the Windows builds. Its
# own CMake runs feature probes that cannot run when cross-compiling; the
# library is one folder of sources, compiled here with the answers the probes
# would give for mingw-w64 (std::regex is there).
set(BENCH ${D}/benchmark)
if(NOT EXISTS ${BENCH}/src/benchmark.cc)
  message(FATAL_ERROR "third-party sources missing in ${D}/benchmark: run tools/setup.sh")
endif()
file(GLOB benchmark_sources ${BENCH}/src/*.cc)
list(REMOVE_ITEM benchmark_sources ${BENCH}/src/benchmark_main.cc)
add_library(zeq_benchmark_lib STATIC ${benchmark_sources})
target_include_directories(zeq_benchmark_lib SYSTEM PUBLIC ${BENCH}/include)
target_compile_definitions(zeq_benchmark_lib PUBLIC BENCHMARK_STATIC_DEFINE)
target_compile_definitions(zeq_benchmark_lib PRIVATE HAVE_STD_REGEX HAVE_STEADY_CLOCK)
target_compile_options(zeq_benchmark_lib PRIVATE -w -O2)
target_link_libraries(zeq_benchmark_lib PUBLIC shlwapi)
# Each benchmark program gets the library's own main.
add_library(zeq_benchmark INTERFACE)
target_sources(zeq_benchmark INTERFACE ${BENCH}/src/benchmark_main.cc)
target_link_libraries(zeq_benchmark INTERFACE zeq_benchmark_lib)
