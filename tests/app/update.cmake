orv_add_test(app_update_core_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/VersionFileTest.cpp
  LIBS app_update_core)
if(ORV_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  orv_add_test(app_update_test QT
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/InetConnectionAsyncTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/UpdateDialogTest.cpp
    LIBS app_update test_fixtures Qt6::Test
    LABELS threads)
endif()
