#include <gtest/gtest.h>

#include <set>

#include "app/commands/AppMessageTable.h"

namespace orv {
namespace {

TEST(AppMessageTable, ValuesAndArguments) {
    struct Row {
        unsigned value;
        const char* name;
        MessageTravel travel;
        const char* wParam;
        const char* lParam;
    };
    const Row rows[] = {
        {0x8000, "WM_APP_RUN_ASYNC", MessageTravel::Posted, "ticket of a heap callback", "0"},
        {0x8008, "WM_APP_PROGRESS", MessageTravel::Posted, "work done", "total"},
        {0x8065, "WM_APP_SLIDER_DRAG", MessageTravel::Posted, "control id (38100 seek, 38101 volume)", "position"},
        {0x812E, "WM_APP_MAP_MARKER_CLICK", MessageTravel::Posted, "0", "frame of the marker's event"},
        {0x825F, "WM_APP_VIDEO_CLICK", MessageTravel::Called, "surface index", "point of the click"},
        {0x8261, "WM_APP_MOVIE_OPENED", MessageTravel::Called, "as received", "as received"},
        {0x8386, "WM_APP_PREVIEW_FILE", MessageTravel::Sent, "row index into the entry vector", "0"},
        {0x8515, "WM_APP_DATA_LOADED", MessageTravel::Posted, "serial of the selection", "result of OpenDataFile"},
        {0x8518, "WM_APP_INIT_DONE", MessageTravel::Posted, "0", "0"},
        {0x857B, "WM_APP_MAPWND_TITLE_DBLCLK", MessageTravel::Posted, "0", "0"},
        {0x87D1, "WM_APP_UPDATE_INFO", MessageTravel::Posted, "0", "0"},
        {0x1401, "WM_USER_PREVIEW_EVENT", MessageTravel::Posted, "the preview player", "ticket of the event object"},
    };
    for (const Row& row : rows) {
        const AppMessageInfo* info = FindAppMessage(row.value);
        ASSERT_NE(info, nullptr) << row.name;
        EXPECT_EQ(info->name, row.name);
        EXPECT_EQ(info->travel, row.travel) << row.name;
        EXPECT_EQ(info->wParam, row.wParam) << row.name;
        EXPECT_EQ(info->lParam, row.lParam) << row.name;
    }
    EXPECT_EQ(FindAppMessage(WM_APP + 5), nullptr);

    std::set<unsigned> values;
    int owned = 0;
    for (const auto& info : kAppMessageTable) {
        EXPECT_TRUE(values.insert(info.value).second) << info.name;
        EXPECT_FALSE(info.sender.empty() || info.receiver.empty() || info.effect.empty()) << info.name;
        owned += info.ownershipPasses;
    }
    EXPECT_EQ(values.size(), 34u);
    EXPECT_EQ(owned, 2);  // the async callback and the preview event
}

}  // namespace
}  // namespace orv
