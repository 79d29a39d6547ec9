# orlido_library(NAME SOURCES ... [LIBS ...]): one static library per source folder.
# It links the platform headers; the backend comes from the executable that links it.
function(orlido_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC orlido_platform ${ARG_LIBS})
endfunction()

# orlido_test(NAME SOURCES ... [LIBS ...] [BACKEND x11 [HEADLESS]] [LABELS ...] [ENVIRONMENT ...]):
# a GoogleTest executable whose cases ctest lists one by one. Tests run on the fake
# backend unless BACKEND x11 is given; x11 tests get the label x11 and need $DISPLAY.
# HEADLESS: the real backend for a part that needs no display (the game controllers); such
# tests run with the unit tests, sanitizer runs included.
function(orlido_test name)
  cmake_parse_arguments(ARG "HEADLESS" "BACKEND;TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} orlido_platform GTest::gtest_main GTest::gmock)
  set(labels ${ARG_LABELS})
  if(ARG_BACKEND STREQUAL "x11")
    set_target_properties(${name} PROPERTIES ORLIDO_BACKEND x11)
    if(ARG_HEADLESS)
      list(APPEND labels unit)
    else()
      list(APPEND labels x11)
    endif()
  else()
    set_target_properties(${name} PROPERTIES ORLIDO_BACKEND fake)
    list(APPEND labels unit)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES LABELS "${labels}" TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${ARG_ENVIRONMENT}")
endfunction()
