# Tests of the program's main window and its parts.
if(ORV_GUI AND ORV_MEDIA)
  orv_add_test(app_test QT
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/AppMessagesTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/SettingsKeysTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/MainLayoutTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/PlaybackRulesTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/MovieMenuTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/MovieStaticTest.cpp
    LIBS app test_fixtures)
endif()

# The main window end to end on a small card, with the real engine, panes and map host
# (label "webengine": it runs the web engine as the map tests do).
if(ORV_GUI AND ORV_MEDIA AND TARGET views_map)
  add_executable(app_window_test
    ${CMAKE_CURRENT_LIST_DIR}/MainWindowTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../views/map/WebTestMain.cpp)
  target_link_libraries(app_window_test PRIVATE app test_fixtures GTest::gtest)
  target_include_directories(app_window_test PRIVATE ${ORV_ROOT}/tests)
  gtest_discover_tests(app_window_test DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 600 LABELS "webengine"
                       ENVIRONMENT "QTWEBENGINE_DISABLE_SANDBOX=1")
endif()
