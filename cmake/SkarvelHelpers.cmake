# skarvel_add_library(NAME SOURCES ... [LIBS ...])
#   One static library per subsystem folder, named skarvel_<NAME>.
function(skarvel_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(skarvel_${name} STATIC ${ARG_SOURCES})
  target_include_directories(skarvel_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(skarvel_${name} PUBLIC ${ARG_LIBS})
endfunction()

find_program(SKARVEL_XVFB_RUN xvfb-run)
find_program(SKARVEL_OPENBOX openbox)

# skarvel_add_test(NAME SOURCES ... [LIBS ...] [DATA_TESTS FILTER] [WIDGETS])
#   One GoogleTest executable per test file group, registered with ctest.
#   Tests run with Qt's offscreen platform so that nothing needs a display.
#   DATA_TESTS names (as a GoogleTest filter) the tests that need the shared
#   external test data: they run as a ctest test of their own, NAME_data,
#   which ctest reports as skipped, not passed, when the data is absent.
#   WIDGETS tests drive the program's windows: they get an application object
#   with the program's error report, and where xvfb-run is installed they
#   run a second time on a real X server (NAME_xvfb). WINDOW_MANAGER names
#   (as a GoogleTest filter) the tests whose window geometry depends on a
#   window manager: where openbox is installed they run a third time on the
#   X server with openbox managing the windows (NAME_wm). LOCALE runs every
#   variant under that locale (LANG and LC_ALL), ru_RU.UTF-8 for the users'.
function(skarvel_add_test name)
  cmake_parse_arguments(ARG "WIDGETS" "DATA_TESTS;WINDOW_MANAGER;LOCALE" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_WIDGETS)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} skarvel_widget_test_main skarvel_test_support GTest::gtest)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} skarvel_test_main skarvel_test_support GTest::gtest)
  endif()
  set(env "SKARVEL_SOURCE_DIR=${PROJECT_SOURCE_DIR};SKARVEL_TESTDATA_DIR=${PROJECT_SOURCE_DIR}/../shared/testdata")
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
  set_tests_properties(${tests} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${env}"
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  if(ARG_WIDGETS)
    # A window test that waits for a modal window nobody answers fails
    # instead of hanging the run.
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  endif()
  if(ARG_WIDGETS AND SKARVEL_XVFB_RUN)
    add_test(NAME ${name}_xvfb COMMAND ${SKARVEL_XVFB_RUN} -a -s "-screen 0 1600x1000x24" $<TARGET_FILE:${name}>)
    set_tests_properties(${name}_xvfb PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=xcb;${env}"
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} TIMEOUT 300)
  endif()
  if(ARG_WIDGETS AND ARG_WINDOW_MANAGER AND SKARVEL_XVFB_RUN AND SKARVEL_OPENBOX)
    add_test(NAME ${name}_wm COMMAND ${SKARVEL_XVFB_RUN} -a -s "-screen 0 1600x1000x24"
             ${PROJECT_SOURCE_DIR}/tests/support/with-window-manager.sh $<TARGET_FILE:${name}>
             --gtest_filter=${ARG_WINDOW_MANAGER})
    set_tests_properties(${name}_wm PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=xcb;${env}"
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} TIMEOUT 300)
  endif()
  if(ARG_LOCALE)
    foreach(test ${tests} ${name}_xvfb ${name}_wm)
      if(TEST ${test})
        set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "LANG=${ARG_LOCALE};LC_ALL=${ARG_LOCALE}")
      endif()
    endforeach()
  endif()
endfunction()
