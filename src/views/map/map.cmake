# The map: the bridge between the program and the map page, the page host on the web
# engine, the page with its scripts and icons, and the map window.

set(ORV_MAP_TILE_URL "https://tile.openstreetmap.org/{z}/{x}/{y}.png" CACHE STRING
    "Address template of the map tiles ({z}, {x} and {y} are filled in by the page)")
set(ORV_MAP_PROBE_URL "https://tile.openstreetmap.org/" CACHE STRING
    "Root address of the tile service; the map is offered while it can be reached")
set(ORV_LEAFLET_DIR "/usr/share/javascript/leaflet" CACHE PATH
    "Folder of the Leaflet map library (Debian package libjs-leaflet)")
if(NOT EXISTS ${ORV_LEAFLET_DIR}/leaflet.js)
  message(FATAL_ERROR "Leaflet not found in ${ORV_LEAFLET_DIR} (install libjs-leaflet)")
endif()

add_library(views_map STATIC
  ${CMAKE_CURRENT_LIST_DIR}/GoogleMapDlg2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GoogleMapDlgWrap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HostWebViewObject.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JsonHolder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MapConfig.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MapConnectionProbe.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MapScripts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MovieDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WebView2Holder.cpp
)
target_include_directories(views_map PUBLIC ${ORV_ROOT}/src)
target_compile_definitions(views_map PRIVATE
  ORV_MAP_TILE_URL="${ORV_MAP_TILE_URL}"
  ORV_MAP_PROBE_URL="${ORV_MAP_PROBE_URL}")
target_link_libraries(views_map PUBLIC platform_web platform_window ui ui_text views_core playback)

# The page, its scripts and icons, and the map library, copied from the system's package
# at build time: nothing but the tiles is fetched at run time.
file(GLOB map_page_files CONFIGURE_DEPENDS
  ${ORV_ROOT}/res/map/*.html ${ORV_ROOT}/res/map/*.js ${ORV_ROOT}/res/map/icons/*.svg)
qt_add_resources(views_map "map_page"
  PREFIX "/map"
  BASE ${ORV_ROOT}/res/map
  FILES ${map_page_files})
qt_add_resources(views_map "map_library"
  PREFIX "/map"
  BASE ${ORV_LEAFLET_DIR}
  FILES
    ${ORV_LEAFLET_DIR}/leaflet.js
    ${ORV_LEAFLET_DIR}/leaflet.css
    ${ORV_LEAFLET_DIR}/images/marker-icon.png
    ${ORV_LEAFLET_DIR}/images/marker-icon-2x.png
    ${ORV_LEAFLET_DIR}/images/marker-shadow.png
    ${ORV_LEAFLET_DIR}/images/layers.png
    ${ORV_LEAFLET_DIR}/images/layers-2x.png)
