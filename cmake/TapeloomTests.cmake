# tapeloom_add_tests(<dir-name> LIBS <targets...>): one test executable per
# *_test.cpp in the current directory, each linked with gtest_main and the
# given libraries, every test case registered with ctest. Files named
# *_long_test.cpp get the label "long".
function(tapeloom_add_tests prefix)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(src IN LISTS test_sources)
    get_filename_component(name ${src} NAME_WE)
    set(target ${prefix}_${name})
    add_executable(${target} ${src})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
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
