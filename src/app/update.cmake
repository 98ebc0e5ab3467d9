# The update check: the texts (version files, the message) without Qt, then the checker's
# threads and the update dialog.
set(ORV_UPDATE_HOST "update.orvanta5.invalid" CACHE STRING
    "Host (and :port) of the update server that publishes the version files")
# The connectivity watch tries the server the map takes its tiles from: the map's own
# setting when the map is built, else the default tile server.
if(DEFINED ORV_MAP_PROBE_URL)
  set(ORV_UPDATE_PROBE_URL "${ORV_MAP_PROBE_URL}")
else()
  set(ORV_UPDATE_PROBE_URL "https://tile.openstreetmap.org/")
endif()

add_library(app_update_core STATIC ${CMAKE_CURRENT_LIST_DIR}/VersionFile.cpp)
target_include_directories(app_update_core PUBLIC ${ORV_ROOT}/src)
target_link_libraries(app_update_core PUBLIC platform_base ui_text)

if(ORV_GUI)
  add_library(app_update STATIC
    ${CMAKE_CURRENT_LIST_DIR}/InetConnectionAsync.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UpdateDialog.cpp)
  target_link_libraries(app_update PUBLIC app_update_core platform_net ui Qt6::Widgets)
  target_compile_definitions(app_update PRIVATE
    ORV_UPDATE_HOST="${ORV_UPDATE_HOST}" ORV_PROBE_URL="${ORV_UPDATE_PROBE_URL}")
endif()
