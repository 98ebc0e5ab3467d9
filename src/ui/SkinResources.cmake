# orv_add_skin_resources(TARGET): renders the skin pictures listed in res/skin/skin.manifest
# with the render-skin tool and embeds them in TARGET as :/skin/<id>.png, with the table as
# :/skin/skin.manifest.
function(orv_add_skin_resources target)
  set(skin_src ${ORV_ROOT}/res/skin)
  set(skin_out ${CMAKE_CURRENT_BINARY_DIR}/skin)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${skin_src}/skin.manifest)

  file(STRINGS ${skin_src}/skin.manifest lines REGEX "^[ \t]*[0-9]")
  set(pictures)
  foreach(line IN LISTS lines)
    string(REGEX MATCH "[0-9]+" id "${line}")
    list(APPEND pictures ${skin_out}/${id}.png)
  endforeach()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${skin_src}/*.svg)

  add_custom_command(
    OUTPUT ${pictures} ${skin_out}/skin.manifest
    COMMAND render-skin ${skin_src}/skin.manifest ${skin_out}
    DEPENDS render-skin ${skin_src}/skin.manifest ${sources}
    COMMENT "Rendering the skin pictures"
    VERBATIM)
  qt_add_resources(${target} "skin"
    PREFIX "/skin"
    BASE ${skin_out}
    FILES ${pictures} ${skin_out}/skin.manifest)
endfunction()
