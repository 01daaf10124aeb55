# Fuzz harnesses and benchmarks, usable in every subsystem's CMakeLists.txt.

# zeq_add_fuzzer(name SOURCES ... LIBS ... CORPUS <folder of seed files>)
# A libFuzzer harness (a source defining LLVMFuzzerTestOneInput), built in
# the sanitized native tree only. Its seeds run once as a ctest entry (every
# seed, and every reproducer kept there, is a regression test); tools/fuzz.sh
# runs it for as long as asked, starting from the seeds.
function(zeq_add_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT ZEQ_NATIVE OR NOT ZEQ_SANITIZE)
    return()
  endif()
  if(NOT F_CORPUS)
    message(FATAL_ERROR "zeq_add_fuzzer(${name}): a CORPUS folder of seed files is required")
  endif()
  get_filename_component(corpus ${F_CORPUS} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  if(NOT IS_DIRECTORY ${corpus})
    message(FATAL_ERROR "zeq_add_fuzzer(${name}): no seed folder ${corpus}")
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS} zeq_options)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_test(NAME ${name}_seeds COMMAND ${name} -runs=0 ${corpus})
  set_tests_properties(${name}_seeds PROPERTIES TIMEOUT 300)
  # tools/fuzz.sh reads the harnesses from this list: name, program, seeds.
  set_property(GLOBAL APPEND PROPERTY ZEQ_FUZZERS "${name}\t$<TARGET_FILE:${name}>\t${corpus}")
endfunction()

# zeq_add_benchmark(name SOURCES ... LIBS ...)
# A benchmark program (Google Benchmark). Built in every tree; never a ctest
# entry: it prints figures and fails nothing (tools/bench.sh runs them).
function(zeq_add_benchmark name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT TARGET zeq_benchmark)
    return()
  endif()
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} zeq_benchmark zeq_options)
  set_property(GLOBAL APPEND PROPERTY ZEQ_BENCHMARKS "${name}\t$<TARGET_FILE:${name}>")
endfunction()

# Written once every folder has added its harnesses (see the end of the
# top-level CMakeLists.txt).
function(zeq_write_harness_lists)
  get_property(fuzzers GLOBAL PROPERTY ZEQ_FUZZERS)
  string(REPLACE ";" "\n" fuzzers "${fuzzers}")
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzzers.txt CONTENT "${fuzzers}\n")
  get_property(benchmarks GLOBAL PROPERTY ZEQ_BENCHMARKS)
  string(REPLACE ";" "\n" benchmarks "${benchmarks}")
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/benchmarks.txt CONTENT "${benchmarks}\n")
endfunction()
