// The inspection tool on files it cannot read: one JSON line per file with the reason,
// never a wait on a FIFO, and names that are not valid UTF-8 told apart.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fixtures/ChildMemory.h"
#include "fixtures/DataBlockWriter.h"
#include "fixtures/TempDir.h"

namespace orv {
namespace {

namespace fx = orv::fixtures;

// The tool's output lines; a tool that hangs is stopped after 20 s and gives no line.
std::vector<std::string> RunProbe(const std::string& command, const std::string& file) {
    const std::string line =
        "timeout 20 '" ORV_RECORDER_PROBE "' " + command + " '" + file + "' 2>/dev/null; echo \"rc=$?\"";
    std::vector<std::string> lines;
    if (FILE* out = ::popen(line.c_str(), "r")) {
        char buf[4096];
        while (std::fgets(buf, sizeof buf, out)) {
            std::string text(buf);
            if (!text.empty() && text.back() == '\n') text.pop_back();
            lines.push_back(text);
        }
        ::pclose(out);
    }
    return lines;
}

TEST(ProbeToolTest, FilesThatCannotBeReadGiveOneLineWithTheReason) {
    fx::TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::string fifo = dir.Path() + "/pipe.MOV";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string empty = dir.Path() + "/empty.MOV";
    const std::string text = dir.Path() + "/notes.MOV";
    const std::string latin1 = dir.Path() + "/caf\xE9.MOV";
    ASSERT_TRUE(fx::WriteFileBytes(empty, {}));
    ASSERT_TRUE(fx::WriteFileBytes(text, {'h', 'e', 'l', 'l', 'o', '\n'}));
    ASSERT_TRUE(fx::WriteFileBytes(latin1, {'h', 'e', 'l', 'l', 'o', '\n'}));

    struct Case {
        std::string file;
        std::string command;
        std::string expected;  // a part of the one line
    };
    const std::string notRegular = "\"error\":\"not a regular file: a FIFO\"";
    const Case cases[] = {
        {fifo, "tree", notRegular},
        {fifo, "movie", notRegular},
        {fifo, "data", notRegular},
        {"/dev/null", "tree", "\"error\":\"not a regular file: a character device\""},
        {empty, "tree", "\"error\":\"the file is empty\""},
        {text, "tree", "\"error\":\"not an MP4 file: no known box at its start\""},
        {dir.Path() + "/missing.MOV", "data", "\"error\":\"No such file or directory\""},
        {latin1, "tree", "/caf\\\\xE9.MOV\",\"file_escaped\":true,\"error\":"},
        {dir.Path() + "/missing", "scan", "\"ok\":false,\"error\":\"No such file or directory\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command + " " + c.file);
        const std::vector<std::string> lines = RunProbe(c.command, c.file);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[0].find(c.expected), std::string::npos) << lines[0];
        EXPECT_EQ(lines[1], "rc=0");
    }
}

TEST(ProbeToolTest, ARunawayDataFileIsReadInLittleMemory) {
    // Ten records, no end tag, zeros up to 1 GiB (a hole: no disk space).
    fx::TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    fx::DataBlock block;
    block.records.resize(10);
    block.countField = 0xFFFF;
    block.endTag = false;
    const std::string data = dir.Path() + "/AG_S-220101-120000-000001D.ADA";
    ASSERT_TRUE(fx::WritePreallocatedFile(data, block.Bytes(), std::uint64_t(1) << 30));

    const fx::ChildRun run = fx::RunProgram({ORV_RECORDER_PROBE, "data", "--summary", data});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("\"records\":10,\"complete\":false"), std::string::npos) << run.output;
    EXPECT_GT(run.peakKb, 0);
    EXPECT_LT(run.peakKb, 100 * 1024) << "KiB";
}

}  // namespace
}  // namespace orv
