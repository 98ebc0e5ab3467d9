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
