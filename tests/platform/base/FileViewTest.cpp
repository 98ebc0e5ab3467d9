#include "platform/base/FileView.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/base/PathUtil.h"

namespace orv {
namespace {

TEST(FileViewTest, OpenNamesWhyWhatIsNoRegularFileCannotBeRead) {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/orv-fileview-XXXXXX";
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    const std::string fifo = PathAppend(dir, "pipe.MOV");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Held open for writing here, so that even a reader that waits for a writer gets one.
    const int writer = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);

    FileView view;
    // An errno left over from an earlier call must not become the reason.
    errno = ENOENT;
    EXPECT_FALSE(view.Open(fifo));
    EXPECT_EQ(view.LastError(), EINVAL);
    EXPECT_FALSE(view.IsOpen());
    EXPECT_FALSE(view.Open(dir));
    EXPECT_EQ(view.LastError(), EISDIR);
    EXPECT_FALSE(view.Open(PathAppend(dir, "missing")));
    EXPECT_EQ(view.LastError(), ENOENT);

    close(writer);
    unlink(fifo.c_str());
    rmdir(dir.c_str());
}

}  // namespace
}  // namespace orv
