# orlido_fuzz_target(NAME SOURCES ... [LIBS ...] CORPUS <dir>)
#
# SOURCES define LLVMFuzzerTestOneInput. Two things are made from them:
#  - always, NAME_replay: an ordinary executable that feeds every file of CORPUS to the
#    target once, registered with ctest (label unit), so every build replays the seeds;
#  - with ORLIDO_FUZZ (clang), NAME: a libFuzzer binary in <build>/fuzz/, with its seed
#    folder written beside it as NAME.corpus for scripts/run-fuzz.
#
# With ORLIDO_FUZZ the whole tree is built with coverage instrumentation and the address and
# undefined-behaviour sanitizers, so the libraries the targets link are instrumented too.

if(ORLIDO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ORLIDO_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

set(ORLIDO_FUZZ_REPLAY_MAIN ${CMAKE_CURRENT_LIST_DIR}/fuzz_replay_main.cpp)

function(orlido_fuzz_target name)
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_CORPUS)
    message(FATAL_ERROR "orlido_fuzz_target(${name}): CORPUS is required")
  endif()
  get_filename_component(corpus ${ARG_CORPUS} ABSOLUTE)

  add_executable(${name}_replay ${ARG_SOURCES} ${ORLIDO_FUZZ_REPLAY_MAIN})
  target_link_libraries(${name}_replay PRIVATE ${ARG_LIBS} orlido_platform)
  set_target_properties(${name}_replay PROPERTIES ORLIDO_BACKEND fake)
  add_test(NAME ${name}_replay COMMAND ${name}_replay ${corpus})
  set_tests_properties(${name}_replay PROPERTIES LABELS unit TIMEOUT 120)

  if(ORLIDO_FUZZ)
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} orlido_platform)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${name} PROPERTIES ORLIDO_BACKEND fake
      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    file(WRITE ${CMAKE_BINARY_DIR}/fuzz/${name}.corpus "${corpus}\n")
  endif()
endfunction()
