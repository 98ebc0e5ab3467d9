// A web engine module that is there but cannot be loaded (this test's folder holds a file
// of its name that is no library): the map is offered, and showing its page gives up the
// page host, as on a system without the web engine, instead of leaving a blank window.
#include <QWidget>

#include <gtest/gtest.h>

#include "MapTestSupport.h"
#include "platform/web/WebModule.h"
#include "views/map/GoogleMapDlgWrap.h"

namespace orv::test {
namespace {

TEST(MapBrokenEngine, ShowingThePageGivesUpTheHostAndSaysWhy) {
    ASSERT_FALSE(FindWebModule().empty());
    QWidget window;
    CGoogleMapDlgWrap map(std::make_unique<FakeConnection>(true, true));
    ASSERT_TRUE(map.CreateHost(&window));
    window.show();
    EXPECT_FALSE(IsWebEngineLoaded());  // made, not shown: nothing loaded

    EXPECT_EQ(map.ShowMap(TRUE), TRUE);
    EXPECT_EQ(map.GetHostWindow(), nullptr);
    EXPECT_EQ(map.GetMapDlg2(), nullptr);
    std::string error;
    EXPECT_FALSE(LoadWebEngine(&error));
    EXPECT_NE(error, "");
    // Without a host every call is harmless.
    map.ExecScript("orbitgrplist.MoveMarker()");
    EXPECT_EQ(map.ShowMap(FALSE), FALSE);
    EXPECT_EQ(map.SetParent(nullptr), nullptr);
}

}  // namespace
}  // namespace orv::test
