# The data views: the rules of events, texts and gauges on records the fixture writer made,
# and the panes driven offscreen.
orv_add_test(views_rules_test
  SOURCES
    EventClassificationTest.cpp
    InfoTextsTest.cpp
    ObdGaugeTest.cpp
    PaneValuesTest.cpp
  LIBS views_core test_fixtures)

find_package(Qt6 REQUIRED COMPONENTS Test)
orv_add_test(views_panes_test QT
  SOURCES
    GSensorDlgTest.cpp
    PanesTest.cpp
  LIBS views test_fixtures Qt6::Test)

# The rig the review tool view-gallery and views-bench draw the views in.
orv_add_test(views_review_rig_test QT SOURCES ViewsRigTest.cpp LIBS views_review)

# recorder-probe's `events` and `frame` on the demo card against the plan it was made from.
# It uses the card tools/demo.sh makes (or ORV_DEMO_CARD), else makes one (about a minute).
orv_add_test(views_demo_card_test SOURCES DemoCardProbeTest.cpp LIBS test_fixtures)
add_dependencies(views_demo_card_test recorder-probe)
target_compile_definitions(views_demo_card_test PRIVATE
  RECORDER_PROBE="$<TARGET_FILE:recorder-probe>"
  ORV_DEMO_CARD_DEFAULT="${ORV_ROOT}/build/demo-card")
