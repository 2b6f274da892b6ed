# GoogleTest, and how a test executable becomes CTest tests.
#
# Natively GoogleTest is the system's and every test case is a CTest test of
# its own (gtest_discover_tests). Cross-built for Windows, GoogleTest is
# compiled from source with the cross compiler, and each test executable is ONE
# CTest test run under Wine: every start of Wine costs about a second, so it
# starts once per executable, not once per case (or once more to list them).

set(KELVARIAN_GTEST_SOURCE_DIR "" CACHE PATH
    "GoogleTest source folder to compile with the cross compiler (cross builds only)")

if(CMAKE_CROSSCOMPILING)
  if(NOT IS_DIRECTORY "${KELVARIAN_GTEST_SOURCE_DIR}")
    message(FATAL_ERROR
      "A cross build compiles GoogleTest from source: set KELVARIAN_GTEST_SOURCE_DIR")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${KELVARIAN_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# Cross-built Windows tests run under Wine in a prefix of the build's own. One
# persistent wineserver serves the whole run: the fixture starts it (creating
# the prefix on the first run) and stops it after the last test. A user who
# names another emulator (CMAKE_CROSSCOMPILING_EMULATOR) runs without it.
set(KELVARIAN_TEST_FIXTURE "")
if(CMAKE_CROSSCOMPILING AND WIN32 AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(wine_test ${PROJECT_SOURCE_DIR}/scripts/wine-test ${CMAKE_BINARY_DIR}/wine-prefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${wine_test})
  add_test(NAME wine.start COMMAND ${wine_test} --start)
  add_test(NAME wine.stop COMMAND ${wine_test} --stop)
  set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 600)
  set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
  set(KELVARIAN_TEST_FIXTURE wine)
endif()

# kelvarian_add_tests(<target> [gtest_discover_tests options...])
# Natively: gtest_discover_tests with the options as given. Cross-built: one
# test named after the target, with the PROPERTIES the options name.
function(kelvarian_add_tests target)
  if(NOT CMAKE_CROSSCOMPILING)
    gtest_discover_tests(${target} ${ARGN})
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "PROPERTIES")
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES TIMEOUT 600 ${ARG_PROPERTIES})
  if(KELVARIAN_TEST_FIXTURE)
    set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED ${KELVARIAN_TEST_FIXTURE})
  endif()
endfunction()

# kelvarian_json: a real JSON parser (Debian's nlohmann-json3-dev) that reads
# the server's answers in the tests. It is headers only, so a cross build takes
# the build machine's; but its package names the build machine's whole include
# folder, whose C library headers would break the cross compiler, so only its
# own folder is offered there.
add_library(kelvarian_json INTERFACE)
if(CMAKE_CROSSCOMPILING)
  find_path(json_include nlohmann/json.hpp NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/json)
  file(CREATE_LINK ${json_include}/nlohmann ${CMAKE_BINARY_DIR}/json/nlohmann SYMBOLIC)
  target_include_directories(kelvarian_json INTERFACE ${CMAKE_BINARY_DIR}/json)
else()
  find_package(nlohmann_json 3 REQUIRED)
  target_link_libraries(kelvarian_json INTERFACE nlohmann_json::nlohmann_json)
endif()
