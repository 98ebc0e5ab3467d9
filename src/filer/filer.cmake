# The file browser: folder tree, file list with its preview popup, the browser pane and the
# source and file selection dialogs. It needs the preview player of the media layer.
if(ORV_MEDIA)
  add_library(filer STATIC
    FolderTreeCtrl.cpp
    FileListCtrl.cpp
    FilerContainerDlg.cpp
    FilerMessage.cpp
    SourceOpenDlg.cpp
    FileSelectDlg.cpp
  )
  target_include_directories(filer PUBLIC ${ORV_ROOT}/src)
  target_link_libraries(filer PUBLIC ui recorder playback playback_preview platform_window Qt6::Widgets)
endif()
