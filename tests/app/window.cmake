# The main window's frame, settings window and picture commands, with the real window. The
# frame's behaviour depends on the window system: run these under an X server (label
# "xvfb": xvfb-run -a with QT_QPA_PLATFORM=xcb) as well as offscreen.
if(ORV_GUI AND ORV_MEDIA)
  orv_add_window_test(app_window_frame_test "xvfb;webengine" ${CMAKE_CURRENT_LIST_DIR}/MainWindowFrameTest.cpp)
  # Both cameras, the map window's close box and the gauge window over the panes: where the
  # satellite windows go depends on the window system as well.
  orv_add_window_test(app_window_cameras_test "xvfb;webengine" ${CMAKE_CURRENT_LIST_DIR}/MainWindowCamerasTest.cpp)
endif()
# The video area after its source went away and came back, across layout modes and the
# full-video view, with the map in its own window or docked.
if(ORV_GUI AND ORV_MEDIA)
  orv_add_window_test(app_window_video_area_test "xvfb;webengine" ${CMAKE_CURRENT_LIST_DIR}/MainWindowVideoAreaTest.cpp)
endif()
