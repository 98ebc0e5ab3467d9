#include "platform/files/RemovableMounts.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures/TempDir.h"
#include "platform/base/PathUtil.h"

namespace orv {
namespace {

// A sysfs tree as the kernel lays it out: /sys/dev/block/M:m links into the device
// folders; a partition's folder sits in its disk's folder and has a "partition" file.
class FakeSysfs {
public:
    explicit FakeSysfs(const std::string& root) : root_(root) {
        std::filesystem::create_directories(PathAppend(root_, "dev/block"));
    }
    void Disk(const std::string& name, const std::string& majMin, bool removable) {
        const std::string dir = PathAppend(root_, "devices/pci0000:00/block/" + name);
        std::filesystem::create_directories(dir);
        std::ofstream(PathAppend(dir, "removable")) << (removable ? "1\n" : "0\n");
        Link(majMin, "../../devices/pci0000:00/block/" + name);
    }
    void Partition(const std::string& disk, const std::string& name, const std::string& majMin) {
        const std::string rel = "devices/pci0000:00/block/" + disk + "/" + name;
        std::filesystem::create_directories(PathAppend(root_, rel));
        std::ofstream(PathAppend(root_, rel + "/partition")) << "1\n";
        Link(majMin, "../../" + rel);
    }
    const std::string& Root() const { return root_; }

private:
    void Link(const std::string& majMin, const std::string& target) {
        std::filesystem::create_directory_symlink(target, PathAppend(root_, "dev/block/" + majMin));
    }
    std::string root_;
};

MountEntry Mount(const std::string& point, unsigned major, unsigned minor) {
    MountEntry m;
    m.mountPoint = point;
    m.major = major;
    m.minor = minor;
    return m;
}

TEST(RemovableMounts, FromTheDeviceFlagOrTheDesktopsMountFolders) {
    fixtures::TempDir dir;
    FakeSysfs sys(PathAppend(dir.Path(), "sys"));
    sys.Disk("sda", "8:0", false);
    sys.Partition("sda", "sda1", "8:1");
    sys.Disk("sdb", "8:16", true);  // a USB card reader
    sys.Partition("sdb", "sdb1", "8:17");
    sys.Disk("sdc", "8:32", true);  // a stick formatted without partitions
    sys.Disk("mmcblk0", "179:0", false);  // a built-in reader: not flagged
    sys.Partition("mmcblk0", "mmcblk0p1", "179:1");

    const std::vector<MountEntry> table = {
        Mount("/", 8, 1),
        Mount("/proc", 0, 21),
        Mount("/mnt/reader", 8, 17),
        Mount("/mnt/stick", 8, 32),
        Mount("/media/user/SD CARD", 179, 1),
        Mount("/run/media/user/USB", 0, 50),  // mounted through FUSE
        Mount("/media", 8, 1),                // the folder itself is no drive
        Mount("/mediafiles", 8, 1),
        Mount("/mnt/reader", 8, 17),          // mounted over again
        Mount("/mnt/unknown", 9, 9),          // no sysfs entry
    };
    EXPECT_EQ(RemovableMountsOf(table, sys.Root()),
              (std::vector<std::string>{"/mnt/reader", "/mnt/stick", "/media/user/SD CARD",
                                        "/run/media/user/USB"}));
}

TEST(RemovableMounts, TestsCanReplaceTheList) {
    SetRemovableMountProvider([] { return std::vector<std::string>{"/media/u/E", "/media/u/F"}; });
    EXPECT_EQ(ListRemovableMounts(), (std::vector<std::string>{"/media/u/E", "/media/u/F"}));
    SetRemovableMountProvider(nullptr);
    for (const std::string& m : ListRemovableMounts()) EXPECT_FALSE(m.empty());
}

}  // namespace
}  // namespace orv
