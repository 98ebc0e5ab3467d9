# The data views: the rules of events, texts and gauges on records the fixture writer made,
# and the panes driven offscreen.
orv_add_test(views_rules_test
  SOURCES
    EventClassificationTest.cpp
    InfoTextsTest.cpp
    ObdGaugeTest.cpp
  LIBS views_core test_fixtures)

find_package(Qt6 REQUIRED COMPONENTS Test)
orv_add_test(views_panes_test QT
  SOURCES
    GSensorDlgTest.cpp
    PanesTest.cpp
  LIBS views test_fixtures Qt6::Test)
