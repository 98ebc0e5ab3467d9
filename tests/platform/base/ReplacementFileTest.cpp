// Replacing a file whole: only a regular file is replaced, by its folder entry, and the
// temporary files of writers that are gone are cleared away.
#include "platform/base/ReplacementFile.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures/OccupiedName.h"
#include "fixtures/TempDir.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using fixtures::Occupant;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool Put(const std::string& path, const std::string& bytes) {
    ReplacementFile file(path);
    return file.IsOpen() && file.Write(bytes.data(), bytes.size()) && file.Commit();
}

TEST(ReplacementFile, ReplacesOnlyARegularFileAndNeverWhatALinkLeadsTo) {
    const struct {
        std::optional<Occupant> occupant;  // none: a regular file of its own
        bool placed;
    } cases[] = {
        {std::nullopt, true},
        // The name's entry is replaced: the recording keeps its other name and its bytes.
        {Occupant::kHardLink, true},
        {Occupant::kSymlink, false},
        {Occupant::kDanglingLink, false},
        {Occupant::kFifo, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.occupant ? fixtures::OccupantName(*c.occupant) : "regular file");
        fixtures::TempDir dir;
        const std::string target = dir.Path() + "/out.jpg";
        const std::string recording = dir.Path() + "/recording.MOV";
        std::optional<fixtures::OccupiedName> occupied;
        if (c.occupant) {
            occupied.emplace(*c.occupant, target, recording);
            ASSERT_TRUE(occupied->Ready());
        } else {
            std::ofstream(target) << "older picture";
        }
        EXPECT_EQ(Put(target, "new picture"), c.placed);
        if (occupied) {
            EXPECT_EQ(occupied->Harm(), "");
            EXPECT_EQ(occupied->StillThere(), !c.placed);
        }
        if (c.placed) {
            EXPECT_EQ(ReadAll(target), "new picture");
        }
        // No temporary file is left either way.
        for (const std::string& name : Names(dir.Path())) {
            EXPECT_NE(name.front(), '.') << name;
        }
    }
    // A folder of the name stays a folder.
    fixtures::TempDir dir;
    ASSERT_TRUE(fs::create_directory(dir.Path() + "/out.jpg"));
    EXPECT_FALSE(Put(dir.Path() + "/out.jpg", "x"));
    EXPECT_TRUE(fs::is_directory(dir.Path() + "/out.jpg"));
}

TEST(ReplacementFile, WithoutLeaveToReplaceAFileThatAppearedIsKept) {
    fixtures::TempDir dir;
    const std::string target = dir.Path() + "/list.csv";
    ReplacementFile file(target);
    ASSERT_TRUE(file.IsOpen());
    ASSERT_TRUE(file.Write("new", 3));
    std::ofstream(target) << "written meanwhile";
    EXPECT_FALSE(file.Commit(Overwrite::kNever));
    EXPECT_EQ(ReadAll(target), "written meanwhile");

    ReplacementFile fresh(dir.Path() + "/other.csv");
    ASSERT_TRUE(fresh.Write("new", 3));
    EXPECT_TRUE(fresh.Commit(Overwrite::kNever));
    EXPECT_EQ(ReadAll(dir.Path() + "/other.csv"), "new");
}

// A process id that no process has any more (the child has been reaped).
pid_t GonePid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

std::string TempName(const std::string& target, long pid, int serial) {
    return "." + target + ".orvanta5-tmp-" + std::to_string(pid) + "-" + std::to_string(serial);
}

TEST(ReplacementFile, TemporaryFilesOfGoneWritersAreRemovedWhenTheFolderIsWrittenNext) {
    fixtures::TempDir dir;
    const pid_t gone = GonePid();
    ASSERT_GT(gone, 0);
    enum Made { kFile, kFolder, kLink };
    const struct {
        std::string name;
        Made kind;
        bool removed;
    } cases[] = {
        {TempName("Dv_20210305_140709.csv", gone, 0), kFile, true},
        {TempName("AG__-220101-120000-000001M.MOV", gone, 17), kFile, true},
        // A writer that still runs: another process, and this one.
        {TempName("Default_Folder.ini", ::getppid(), 0), kFile, false},
        {TempName("a.jpg", ::getpid(), 3), kFile, false},
        // Names of the program's kind that are not its temporary files.
        {TempName("b.jpg", gone, 1).substr(1), kFile, false},
        {TempName("c.jpg", gone, 1) + "x", kFile, false},
        {TempName("d.jpg", gone, 1) + "-2", kFile, false},
        {".e.jpg.tmp-" + std::to_string(gone) + "-0", kFile, false},
        {"AG__-220101-120000-000001M.MOV", kFile, false},
        // Only regular files are removed.
        {TempName("f.jpg", gone, 0), kFolder, false},
        {TempName("g.jpg", gone, 0), kLink, false},
    };
    const std::string elsewhere = dir.Path() + "/elsewhere";
    std::ofstream(elsewhere) << "kept";
    for (const auto& c : cases) {
        const std::string path = dir.Path() + "/" + c.name;
        if (c.kind == kFile) std::ofstream(path) << "part";
        if (c.kind == kFolder) fs::create_directory(path);
        if (c.kind == kLink) fs::create_symlink(elsewhere, path);
        ASSERT_TRUE(fs::exists(fs::symlink_status(path))) << c.name;
    }
    ASSERT_TRUE(Put(dir.Path() + "/new.csv", "list"));
    for (const auto& c : cases) {
        EXPECT_EQ(!fs::exists(fs::symlink_status(dir.Path() + "/" + c.name)), c.removed) << c.name;
    }
    EXPECT_EQ(ReadAll(elsewhere), "kept");
}

}  // namespace
}  // namespace orv
