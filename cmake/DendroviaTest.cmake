# dendrovia_add_test(NAME SOURCES ... LIBS ... [GUI] [SERIAL] [SCALES factor ...])
# A GUI test gets a main that creates a QApplication; ctest runs it under the
# X server that test.sh provides. Test discovery runs at test time so that the
# build itself needs no display. A SERIAL test runs alone: no other test's
# windows share the X server with it. With SCALES the tests run once for each
# factor, with QT_SCALE_FACTOR set to it, named "<factor>x.<test>".
function(dendrovia_add_test name)
  cmake_parse_arguments(T "GUI;SERIAL" "" "SOURCES;LIBS;SCALES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_GUI)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/GuiTestMain.cpp)
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest Qt6::Widgets Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  set(serial FALSE)
  if(T_SERIAL)
    set(serial TRUE)
  endif()
  if(T_SCALES)
    foreach(scale IN LISTS T_SCALES)
      gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                           TEST_PREFIX "${scale}x."
                           PROPERTIES TIMEOUT 300 RUN_SERIAL ${serial}
                                      ENVIRONMENT "QT_SCALE_FACTOR=${scale}")
    endforeach()
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 300 RUN_SERIAL ${serial})
  endif()
endfunction()
