# tapeloom_add_tests(<dir-name> TESTS <files...> LIBS <targets...>): one test
# executable per listed *_test.cpp of the current directory, each linked
# with gtest_main and the given libraries, every test case registered with
# ctest. Files named
# *_long_test.cpp get the label "long".  Every test runs with
# TAPELOOM_DECK_THREADING=0: virtual decks start playing at once (tests that
# look at the threading delay ask for it in their deck options).  Test executables named in
# TAPELOOM_SINGLE_THREADED_TESTS start no threads of their own and drive no
# code that does; the ThreadSanitizer build leaves them out (they are still
# defined, so that their directories can add properties to them).
function(tapeloom_add_tests prefix)
  cmake_parse_arguments(ARG "" "" "TESTS;LIBS" ${ARGN})
  # GoogleTest's header is parsed once per test directory and the parse is
  # reused by each test file there: it costs more than most test files
  # themselves.  The header is compiled in an executable that links what the
  # directory's tests link, so that it is built with the same options.
  # In the optimised build the tests themselves are compiled at -O1 with
  # line tables: they drive optimised libraries, and their own code is not
  # where time goes.  GCC 12 reports false array-bounds and string-overflow
  # warnings there in the standard library's string code inlined into test
  # bodies; they are not raised for the tests of the optimised build (the
  # libraries keep them, and the sanitizer builds check the tests at run
  # time).
  set(pch ${prefix}_test_pch)
  add_executable(${pch} ${PROJECT_SOURCE_DIR}/cmake/test_pch.cpp)
  target_link_libraries(${pch} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
  target_precompile_headers(${pch} PRIVATE <gtest/gtest.h>)
  set(test_options "")
  if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    set(test_options -O1 -g1 -Wno-array-bounds -Wno-stringop-overflow)
  endif()
  target_compile_options(${pch} PRIVATE ${test_options})
  foreach(src IN LISTS ARG_TESTS)
    get_filename_component(name ${src} NAME_WE)
    set(target ${prefix}_${name})
    if(TAPELOOM_SANITIZE STREQUAL "thread" AND target IN_LIST TAPELOOM_SINGLE_THREADED_TESTS)
      add_executable(${target} EXCLUDE_FROM_ALL ${src})
      target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
      continue()
    endif()
    add_executable(${target} ${src})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
    target_compile_options(${target} PRIVATE ${test_options})
    target_precompile_headers(${target} REUSE_FROM ${pch})
    if(name MATCHES "_long_test$")
      # Long tests (minutes, gigabytes): excluded by the test presets, run by
      # `scripts/test --long`.
      gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                           PROPERTIES TIMEOUT 1800 LABELS long
                           ENVIRONMENT TAPELOOM_DECK_THREADING=0)
    else()
      gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                           PROPERTIES TIMEOUT 120 ENVIRONMENT TAPELOOM_DECK_THREADING=0)
    endif()
  endforeach()
endfunction()
