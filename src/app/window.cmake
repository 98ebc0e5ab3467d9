# The main window's frame, its snapshot and view commands and its remaining buttons.
if(TARGET app)
  target_sources(app PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/CsulvaneDlgFrame.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CsulvaneDlgView.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CsulvaneDlgButtons.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SourcePath.cpp
  )
endif()
