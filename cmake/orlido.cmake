# orlido_library(NAME SOURCES ... [LIBS ...]): one static library per source folder.
# It links the platform headers; the backend comes from the executable that links it.
function(orlido_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC orlido_platform ${ARG_LIBS})
endfunction()

# orlido_test(NAME SOURCES ... [LIBS ...] BACKEND fake|x11 [HEADLESS] [LABELS ...] [ENVIRONMENT ...]):
# a GoogleTest executable whose cases ctest lists one by one. BACKEND is required: fake tests
# get the label unit; x11 tests get the label x11 and need $DISPLAY (scripts/with-xvfb).
# HEADLESS: the real backend for a part that needs no display (the game controllers); such
# tests run with the unit tests, sanitizer runs included.
function(orlido_test name)
  cmake_parse_arguments(ARG "HEADLESS" "BACKEND;TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} orlido_platform GTest::gtest_main GTest::gmock)
  set(labels ${ARG_LABELS})
  if(ARG_BACKEND STREQUAL "x11")
    if(ARG_HEADLESS)
      list(APPEND labels unit)
    else()
      list(APPEND labels x11)
    endif()
  elseif(ARG_BACKEND STREQUAL "fake")
    if(ARG_HEADLESS)
      message(FATAL_ERROR "orlido_test(${name}): HEADLESS goes with BACKEND x11")
    endif()
    list(APPEND labels unit)
  else()
    message(FATAL_ERROR "orlido_test(${name}): BACKEND must be fake or x11, not '${ARG_BACKEND}'")
  endif()
  set_target_properties(${name} PROPERTIES ORLIDO_BACKEND ${ARG_BACKEND})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES LABELS "${labels}" TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${ARG_ENVIRONMENT}")
endfunction()

# orlido_check_backends(DIR): every executable defined in DIR and below must name its
# platform backend (ORLIDO_BACKEND fake, x11, x11-timed-sound, or none for one that does not
# link the platform layer); a missing or misspelt one stops the configure step.
function(orlido_check_backends dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type STREQUAL "EXECUTABLE")
      continue()
    endif()
    get_target_property(backend ${target} ORLIDO_BACKEND)
    if(NOT backend MATCHES "^(fake|x11|x11-timed-sound|none)$")
      message(FATAL_ERROR "${target} (${dir}): ORLIDO_BACKEND is '${backend}'; "
        "set it to fake, x11, x11-timed-sound or none")
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    orlido_check_backends(${subdirectory})
  endforeach()
endfunction()
