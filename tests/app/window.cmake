# The main window's frame, settings window and picture commands, with the real window. The
# frame's behaviour depends on the window system: run these under an X server (label
# "xvfb": xvfb-run -a with QT_QPA_PLATFORM=xcb) as well as offscreen.
if(ORV_GUI AND ORV_MEDIA AND TARGET views_map)
  add_executable(app_window_frame_test
    ${CMAKE_CURRENT_LIST_DIR}/MainWindowFrameTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../views/map/WebTestMain.cpp)
  target_link_libraries(app_window_frame_test PRIVATE app test_fixtures GTest::gtest)
  target_include_directories(app_window_frame_test PRIVATE ${ORV_ROOT}/tests)
  gtest_discover_tests(app_window_frame_test DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 600 LABELS "xvfb;webengine"
                       ENVIRONMENT "QTWEBENGINE_DISABLE_SANDBOX=1")
endif()
