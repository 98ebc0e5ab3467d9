# The long jobs of the main window: deleting, joining and the CSV export.
if(ORV_GUI AND ORV_MEDIA)
  add_library(app_jobs STATIC
    ${CMAKE_CURRENT_LIST_DIR}/JobFrame.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DeleteJob.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JoinJob.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CsvExport.cpp)
  target_include_directories(app_jobs PUBLIC ${ORV_ROOT}/src)
  target_link_libraries(app_jobs PUBLIC recorder_join playback ui app_commands filer)
endif()
