if(ORV_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  orv_add_test(app_commands_test QT
    SOURCES FrameMathTest.cpp ControlRulesTest.cpp SettingDlgTest.cpp
    LIBS app_commands Qt6::Test)
endif()
