# Project-wide settings and helpers shared by every folder.

option(VELACORTE_TESTS "Build the tests" ON)
option(VELACORTE_BENCHMARKS "Build the benchmarks" OFF)
option(VELACORTE_FUZZ "Build the libFuzzer targets (clang)" OFF)
# Network time limits of a few seconds in place of the product's, for builds whose tests stall a host.
option(VELACORTE_SHORT_TIME_LIMITS "Shorten the network time limits (test builds)" OFF)
if(VELACORTE_SHORT_TIME_LIMITS)
  add_compile_definitions(VELACORTE_SHORT_TIME_LIMITS)
endif()

# Host of the query service and of the archives. The product talks to the maker's host; the demo and
# test builds point it at the local reference service.
set(VELACORTE_SERVICE_HOST "velacorte.com.br" CACHE STRING "Query service and download host")
# The native builds read the token from this file (Windows always uses the product's fixed path).
set(VELACORTE_TOKEN_FILE "c:\\velacorte\\velacorte.ini" CACHE STRING "Token file of the native builds")

find_package(ZLIB REQUIRED)

if(WIN32)
  # Debian ships no MinGW pugixml: build it from Debian's source package, fetched into the build tree.
  execute_process(
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/fetch-pugixml.sh ${CMAKE_BINARY_DIR}/_deps
    OUTPUT_VARIABLE PUGIXML_SOURCE_DIR OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE fetch_result)
  if(NOT fetch_result EQUAL 0)
    message(FATAL_ERROR "Could not fetch pugixml's source package")
  endif()
  add_library(pugixml STATIC ${PUGIXML_SOURCE_DIR}/pugixml.cpp)
  target_include_directories(pugixml SYSTEM PUBLIC ${PUGIXML_SOURCE_DIR})
  add_library(pugixml::pugixml ALIAS pugixml)

  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
      ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
else()
  find_package(pugixml REQUIRED)
endif()

# Our own code builds without warnings; third-party code keeps its own flags.
function(velacorte_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  # GCC 12 reports -Wrestrict falsely inside std::string at -O3 (GCC bug 105329).
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
endfunction()

if(VELACORTE_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
  include(GoogleTest)
endif()

# velacorte_test(NAME SOURCES... LIBS ...): one googletest program. Natively each test case is its
# own ctest entry; under Wine the program is one entry, since listing its cases would start Wine again.
# Every test has a time limit, so that a hang fails in minutes; a test may give its own in PROPERTIES.
set(VELACORTE_TEST_TIMEOUT 300)

function(velacorte_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  velacorte_warnings(${name})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${VELACORTE_TEST_TIMEOUT} ${T_PROPERTIES})
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT ${VELACORTE_TEST_TIMEOUT} ${T_PROPERTIES})
  endif()
endfunction()
