# The Qt-free rules of the data views (events, panel texts, gauge values). The inspection
# tool includes this file too, so the paths are absolute.
if(NOT TARGET views_core)
  add_library(views_core STATIC
    ${ORV_ROOT}/src/views/EventClassification.cpp
    ${ORV_ROOT}/src/views/InfoTexts.cpp
    ${ORV_ROOT}/src/views/ObdGauge.cpp
    ${ORV_ROOT}/src/views/PaneValues.cpp
  )
  target_include_directories(views_core PUBLIC ${ORV_ROOT}/src)
  target_link_libraries(views_core PUBLIC playback recorder platform_base)
endif()
