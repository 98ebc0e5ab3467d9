#include "platform/base/Drives.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(Drives, ParsesMountInfoWithEscapes) {
    const std::string text =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "40 22 8:17 / /media/user/SD\\040CARD rw,nosuid master:2 - vfat /dev/sdb1 rw,uid=1000\n"
        "garbage\n";
    const auto mounts = ParseMountInfo(text);
    ASSERT_EQ(mounts.size(), 2u);
    EXPECT_EQ(mounts[1].mountPoint, "/media/user/SD CARD");
    EXPECT_EQ(mounts[1].fsType, "vfat");
    EXPECT_EQ(mounts[1].source, "/dev/sdb1");
    EXPECT_EQ(mounts[1].major, 8u);
    EXPECT_EQ(mounts[1].minor, 17u);
}

TEST(Drives, DriveRootIsTheLongestMountAboveThePath) {
    EXPECT_EQ(DriveRootOf("/"), "/");
    const std::string root = DriveRootOf("/proc/self/status");
    EXPECT_EQ(root, "/proc");
}

TEST(Drives, TestsCanReplaceTheLookup) {
    SetDriveRootProvider([](const std::string&) { return std::string("/card"); });
    EXPECT_EQ(DriveRootOf("/card/Normal/x.MOV"), "/card");
    SetDriveRootProvider(nullptr);
    EXPECT_EQ(DriveRootOf("/"), "/");
}

}  // namespace
}  // namespace orv
