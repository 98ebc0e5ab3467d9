# The data views beside the video: the info panel, the G-sensor graph and the vehicle gauges.
include(${CMAKE_CURRENT_LIST_DIR}/views_core.cmake)

add_library(views STATIC
  GSensorDlg.cpp
  InfoDlg.cpp
  ObdDlg.cpp
)
target_include_directories(views PUBLIC ${ORV_ROOT}/src)
target_link_libraries(views PUBLIC views_core ui platform_window Qt6::Widgets)
