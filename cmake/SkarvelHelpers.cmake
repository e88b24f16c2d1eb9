# skarvel_add_library(NAME SOURCES ... [LIBS ...])
#   One static library per subsystem folder, named skarvel_<NAME>.
function(skarvel_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(skarvel_${name} STATIC ${ARG_SOURCES})
  target_include_directories(skarvel_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(skarvel_${name} PUBLIC ${ARG_LIBS})
endfunction()

# skarvel_add_test(NAME SOURCES ... [LIBS ...] [DATA_TESTS FILTER])
#   One GoogleTest executable per test file group, registered with ctest.
#   Tests run with Qt's offscreen platform so that nothing needs a display.
#   DATA_TESTS names (as a GoogleTest filter) the tests that need the shared
#   external test data: they run as a ctest test of their own, NAME_data,
#   which ctest reports as skipped, not passed, when the data is absent.
function(skarvel_add_test name)
  cmake_parse_arguments(ARG "" "DATA_TESTS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} skarvel_test_support GTest::gtest)
  set(tests ${name})
  if(ARG_DATA_TESTS)
    add_test(NAME ${name} COMMAND ${name} --gtest_filter=-${ARG_DATA_TESTS})
    add_test(NAME ${name}_data COMMAND ${name} --gtest_filter=${ARG_DATA_TESTS})
    # The message of testing::kTestDataAbsent.
    set_tests_properties(${name}_data PROPERTIES SKIP_REGULAR_EXPRESSION "external test data is not present")
    list(APPEND tests ${name}_data)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${tests} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SKARVEL_SOURCE_DIR=${PROJECT_SOURCE_DIR};SKARVEL_TESTDATA_DIR=${PROJECT_SOURCE_DIR}/../shared/testdata"
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()
