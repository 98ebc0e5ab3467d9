# Tests of joining movies (Qt-free) and of the long jobs of the main window.
orv_add_test(recorder_join_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/../recorder/MovieJoinTest.cpp
  LIBS recorder_join test_fixtures)
if(ORV_GUI)
  orv_add_test(app_jobs_test QT
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/JobFrameTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/CsvExportTest.cpp
    LIBS app_jobs test_fixtures
    LABELS threads)
endif()
