# The file browser's tests, driving the real widgets offscreen on card trees.
if(ORV_MEDIA)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  orv_add_test(filer_test QT
    SOURCES
      FolderTreeTest.cpp
      FileListTest.cpp
      FilerContainerTest.cpp
      SelectDialogsTest.cpp
    LIBS filer test_fixtures Qt6::Test)
endif()
