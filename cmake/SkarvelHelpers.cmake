# skarvel_add_library(NAME SOURCES ... [LIBS ...])
#   One static library per subsystem folder, named skarvel_<NAME>.
function(skarvel_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(skarvel_${name} STATIC ${ARG_SOURCES})
  target_include_directories(skarvel_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(skarvel_${name} PUBLIC ${ARG_LIBS})
endfunction()

# skarvel_add_test(NAME SOURCES ... [LIBS ...])
#   One GoogleTest executable per test file group, registered with ctest.
#   Tests run with Qt's offscreen platform so that nothing needs a display.
function(skarvel_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} skarvel_test_support GTest::gtest)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SKARVEL_SOURCE_DIR=${PROJECT_SOURCE_DIR};SKARVEL_TESTDATA_DIR=${PROJECT_SOURCE_DIR}/../shared/testdata"
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()
