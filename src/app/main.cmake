# The program: the main window with its video surfaces and menu, and the executable.
if(ORV_GUI AND ORV_MEDIA)
  add_library(app STATIC
    ${CMAKE_CURRENT_LIST_DIR}/SettingsKeys.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MainLayout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MovieMenu.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MovieStatic.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CsulvaneDlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CsulvaneDlgRoad.cpp
    ${CMAKE_CURRENT_LIST_DIR}/road/PlaybackRoad.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CsulvaneDlgLayout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CsulvaneDlgCommands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CsulvaneDlgJobs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CsulvaneApp.cpp
  )
  target_include_directories(app PUBLIC ${ORV_ROOT}/src)
  target_link_libraries(app PUBLIC app_commands app_jobs app_update views views_core views_map filer ui
                        playback_engine playback recorder platform_base platform_window)

  add_executable(Orvanta5 ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
  target_link_libraries(Orvanta5 PRIVATE app)
  install(TARGETS Orvanta5 RUNTIME DESTINATION bin)
endif()
