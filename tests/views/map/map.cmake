# The map's tests. map_test runs without a browser; map_web_test drives the real web engine
# (label "webengine": run it offscreen or under Xvfb with QTWEBENGINE_DISABLE_SANDBOX=1 when
# running as root).
orv_add_test(map_test QT
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/MapBridgeTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MapConnectionProbeTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MapJsonTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MovieDialogTest.cpp
  LIBS views_map test_fixtures)
