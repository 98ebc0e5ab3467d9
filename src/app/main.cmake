# The program: the main window with its video surfaces and menu, and the executable.
if(ORV_GUI AND ORV_MEDIA)
  add_library(app STATIC
    ${CMAKE_CURRENT_LIST_DIR}/AppMessages.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SettingsKeys.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MainLayout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CsulvaneDlgRules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MovieMenu.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MovieStatic.cpp
  )
  target_include_directories(app PUBLIC ${ORV_ROOT}/src)
  target_link_libraries(app PUBLIC app_commands views_core ui playback_engine playback recorder platform_base platform_window)
endif()
