// Whose leftovers are known to have lost their writer.
#include "platform/base/WriterName.h"

#include <unistd.h>

#include <climits>
#include <ctime>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace orv {
namespace {

// A writer of this boot is gone when its process is; one of an earlier boot at once on a
// file system of this machine's own, where no clone of the machine (same host name and
// machine id, another boot) can write, and in a shared folder only for a file older than
// this boot; a writer of another machine is never judged.
TEST(WriterName, AnEarlierBootsWriterIsGoneOnALocalDiskAndInASharedFolderForFilesOlderThanThisBoot) {
    // No process has this id: the kernel hands out ids up to 2^22 at most.
    constexpr pid_t gone = INT_MAX;
    // The mark is the machine's 16 digits, its boot's 16 and its pid namespace's 16.
    const std::string mark = HostMark();
    const auto withPart = [&](std::size_t part) {
        std::string other = mark;
        other[16 * part] = other[16 * part] == '1' ? '2' : '1';
        return other;
    };
    const bool bootKnown = mark.substr(16, 16) != std::string(16, '0');
    const std::time_t boot = std::time(nullptr) - 24 * 3600;
    const struct {
        const char* what;
        std::string mark;
        pid_t pid;
        std::time_t modified;
        std::optional<std::time_t> bootTime;
        bool goneLocal, goneShared;
    } cases[] = {
        {"this boot, its process gone", mark, gone, boot + 60, boot, true, true},
        {"this boot, its process running", mark, ::getppid(), boot - 3600, boot, false, false},
        {"an earlier boot, the file older than this boot", withPart(1), ::getppid(), boot - 3600, boot, bootKnown,
         bootKnown},
        {"an earlier boot's mark on a file newer than this boot", withPart(1), gone, boot + 3600, boot, bootKnown,
         false},
        // A reboot within moments of the last write.
        {"an earlier boot's mark on a file written just before this boot", withPart(1), gone,
         boot - kBootMarginSeconds / 2, boot, bootKnown, false},
        {"an earlier boot, this boot's start unknown", withPart(1), gone, boot - 3600, std::nullopt, bootKnown, false},
        {"another machine", withPart(0), gone, boot - 3600, boot, false, false},
        {"another pid namespace", withPart(2), gone, boot - 3600, boot, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = WriterFileName(WriterFile::kTemporary, "a.MOV", c.mark + "-" + std::to_string(c.pid), 1);
        const auto info = ParseWriterFileName(name);
        ASSERT_TRUE(info);
        EXPECT_EQ(WriterIsGone(*info, c.modified, false, c.bootTime), c.goneLocal);
        EXPECT_EQ(WriterIsGone(*info, c.modified, true, c.bootTime), c.goneShared);
    }
    // The kernel's own file system is this machine's; a folder whose kind cannot be told
    // is taken for a shared one.
    EXPECT_FALSE(IsSharedFileSystem("/proc"));
    EXPECT_TRUE(IsSharedFileSystem("/no such folder"));
    // This process's own boot time lies in the past, and not before the epoch.
    const auto thisBoot = BootTime();
    ASSERT_TRUE(thisBoot);
    EXPECT_GT(*thisBoot, 0);
    EXPECT_LE(*thisBoot, std::time(nullptr));
}

}  // namespace
}  // namespace orv
