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

# A folder whose web engine module is a file that is no library.
orv_add_test(map_broken_engine_test QT
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MapBrokenEngineTest.cpp
  LIBS views_map test_fixtures)
set_target_properties(map_broken_engine_test PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/broken-engine ORV_WEB_MODULE_LINK OFF)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/broken-engine/libOrvanta5Web.so "not a library\n")

add_executable(map_web_test
  ${CMAKE_CURRENT_LIST_DIR}/MapPageTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WebTestMain.cpp)
target_link_libraries(map_web_test PRIVATE views_map test_fixtures GTest::gtest)
target_include_directories(map_web_test PRIVATE ${ORV_ROOT}/tests)
gtest_discover_tests(map_web_test DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                     PROPERTIES TIMEOUT 600 LABELS "webengine"
                     ENVIRONMENT "QTWEBENGINE_DISABLE_SANDBOX=1")
