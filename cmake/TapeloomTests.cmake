# tapeloom_add_tests(<dir-name> LIBS <targets...>): one test executable per
# *_test.cpp in the current directory, each linked with gtest_main and the
# given libraries, every test case registered with ctest. Files named
# *_long_test.cpp get the label "long".  Test executables named in
# TAPELOOM_SINGLE_THREADED_TESTS start no threads of their own and drive no
# code that does; the ThreadSanitizer build leaves them out (they are still
# defined, so that their directories can add properties to them).
function(tapeloom_add_tests prefix)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  # In the unoptimised (sanitizer) builds GoogleTest's header is parsed once
  # per test directory and the parse is reused by each test file there: it
  # costs more than most test files themselves.  The header is compiled in
  # an executable that links what the directory's tests link, so that it is
  # built with the same options.  Optimised builds parse it in every file:
  # GCC 12 reports false array-bounds warnings in library code reached
  # through a precompiled header.
  set(pch "")
  if(CMAKE_BUILD_TYPE STREQUAL "Debug")
    set(pch ${prefix}_test_pch)
    add_executable(${pch} ${PROJECT_SOURCE_DIR}/cmake/test_pch.cpp)
    target_link_libraries(${pch} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
    target_precompile_headers(${pch} PRIVATE <gtest/gtest.h>)
  endif()
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(src IN LISTS test_sources)
    get_filename_component(name ${src} NAME_WE)
    set(target ${prefix}_${name})
    if(TAPELOOM_SANITIZE STREQUAL "thread" AND target IN_LIST TAPELOOM_SINGLE_THREADED_TESTS)
      add_executable(${target} EXCLUDE_FROM_ALL ${src})
      target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
      continue()
    endif()
    add_executable(${target} ${src})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
    if(pch)
      target_precompile_headers(${target} REUSE_FROM ${pch})
    endif()
    if(name MATCHES "_long_test$")
      # Long tests (minutes, gigabytes): excluded by the test presets, run by
      # `scripts/test --long`.
      gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                           PROPERTIES TIMEOUT 1800 LABELS long)
    else()
      gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                           PROPERTIES TIMEOUT 120)
    endif()
  endforeach()
endfunction()
