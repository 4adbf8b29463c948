# Common settings for every Kestrune target.

if(KESTRUNE_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
  list(JOIN KESTRUNE_SANITIZE "," _kestrune_sanitizers)
  add_compile_options(-fsanitize=${_kestrune_sanitizers} -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${_kestrune_sanitizers})
endif()

# Warnings. The settings of the Windows API (wide characters, target version) are made by the
# gateway header platform/win32/windows_support.h, the one way into that API.
# Warnings; clang also checks the locking of every field marked KESTRUNE_GUARDED_BY
# (platform/mutex.h). KESTRUNE_WERROR makes them errors in the builds CI runs, while a
# developer's iteration build (the host preset on its own) lets them through.
function(kestrune_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(KESTRUNE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${target} PRIVATE -Wthread-safety)
  endif()
endfunction()

# A library of the portable core or a platform layer.
function(kestrune_library target)
  add_library(${target} STATIC ${ARGN})
  kestrune_target_defaults(${target})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# Test doubles and test helpers shared by the test binaries of several folders (host tests only).
function(kestrune_test_library target)
  if(NOT KESTRUNE_TESTS OR CMAKE_CROSSCOMPILING)
    return()
  endif()
  kestrune_library(${target} ${ARGN})
  target_link_libraries(${target} PUBLIC kestrune_test_support GTest::gmock)
  target_compile_definitions(${target} PRIVATE
    KESTRUNE_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
    KESTRUNE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endfunction()

# One GoogleTest binary per directory, registered test by test with CTest.
# Test binaries go to tests/ so that bin/ holds only the programs.
function(kestrune_test target)
  if(NOT KESTRUNE_TESTS OR CMAKE_CROSSCOMPILING)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  kestrune_target_defaults(${target})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} kestrune_test_support GTest::gmock
                                          GTest::gtest_main)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${target} PRIVATE
    KESTRUNE_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
    KESTRUNE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST
                       WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
                       PROPERTIES LABELS ${target})
endfunction()

# Tests of the Windows platform layer: GoogleTest built from Debian's sources with the cross
# compiler, run under wine64 through the toolchain's emulator (win64 build only).
function(kestrune_win_test target)
  if(NOT WIN32 OR NOT CMAKE_CROSSCOMPILING_EMULATOR)
    return()
  endif()
  if(NOT TARGET gtest_main)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  kestrune_target_defaults(${target})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} gtest_main)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES LABELS ${target} TIMEOUT 300)
endfunction()
