# Tests of the program's main window and its parts.
if(ORV_GUI AND ORV_MEDIA)
  orv_add_test(app_test QT
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/AppMessagesTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/SettingsKeysTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/MainLayoutTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/PlaybackRulesTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/PlaybackRoadTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/MovieMenuTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/MovieStaticTest.cpp
    LIBS app test_fixtures)
endif()

# The main window end to end on a small card, with the real engine, panes and map host
# (label "webengine": it runs the web engine as the map tests do).
if(ORV_GUI AND ORV_MEDIA)
  orv_add_window_test(app_window_test "webengine" ${CMAKE_CURRENT_LIST_DIR}/MainWindowTest.cpp)
  # The web engine and OpenGL are mapped only once the map's page is shown.
  orv_add_window_test(app_map_load_test "xvfb;webengine" ${CMAKE_CURRENT_LIST_DIR}/MainWindowMapLoadTest.cpp)
endif()
