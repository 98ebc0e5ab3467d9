#include "platform/files/DiskSpace.h"

#include <gtest/gtest.h>

#include "fixtures/TempDir.h"
#include "platform/base/PathUtil.h"

namespace orv {
namespace {

TEST(DiskSpace, KnownForAFolderUnknownForNothing) {
    fixtures::TempDir dir;
    EXPECT_TRUE(FreeDiskBytes(dir.Path()).has_value());
    EXPECT_FALSE(FreeDiskBytes(PathAppend(dir.Path(), "missing")).has_value());
    EXPECT_FALSE(FreeDiskBytes("").has_value());
}

}  // namespace
}  // namespace orv
