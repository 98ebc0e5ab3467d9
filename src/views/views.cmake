# The data views beside the video: the info panel, the G-sensor graph and the vehicle gauges.
include(${CMAKE_CURRENT_LIST_DIR}/views_core.cmake)
