# The main window's command tables and enabling rules, its playback arithmetic (shared with
# the jobs, which keep the same end margin), its frame geometry and scale overlay, snapshot
# names and the settings window.
if(ORV_GUI)
  add_library(app_commands STATIC
    ControlRules.cpp
    CsulvaneDlgRules.cpp
    FrameMath.cpp
    ScaleFrameWindow.cpp
    SettingDlg.cpp
    SnapshotName.cpp
  )
  target_include_directories(app_commands PUBLIC ${ORV_ROOT}/src)
  target_link_libraries(app_commands PUBLIC ui recorder Qt6::Widgets)
endif()
