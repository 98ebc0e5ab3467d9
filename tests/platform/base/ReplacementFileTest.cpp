// Replacing a file whole: only a regular file is replaced, by its folder entry, and the
// temporary files of writers that are gone are cleared away.
#include "platform/base/ReplacementFile.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures/OccupiedName.h"
#include "fixtures/TempDir.h"
#include "platform/base/WriterName.h"

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

std::string Writer(std::string_view mark, pid_t pid) { return std::string(mark) + "-" + std::to_string(pid); }

// A leftover is removed only when all of these hold: it is a regular file of this user, its
// name is of this machine's writers, its writer has gone (or ran before the last boot, which
// the file is older than), it is older than a few minutes, and no journal that stays names
// its writer. A file of another machine or pid namespace, of another user, or of a writer
// still running is never taken, however old: its process id says nothing here, or it is
// not ours to remove.
TEST(ReplacementFile, OnlyOldLeftoversOfThisUsersGoneWritersOnThisHostAreRemoved) {
    fixtures::TempDir dir;
    const pid_t gone = GonePid(), goneWithJournal = GonePid(), goneWithOthersJournal = GonePid();
    ASSERT_GT(gone, 0);
    const std::string mark = HostMark();
    // The mark is the machine's 16 digits, its boot's 16 and its pid namespace's 16.
    const auto withPart = [&](std::size_t part) {
        std::string other = mark;
        other[16 * part] = other[16 * part] == '1' ? '2' : '1';
        return other;
    };
    const std::string otherMark = withPart(0), earlierBoot = withPart(1), otherNamespace = withPart(2);
    const std::optional<std::time_t> boot = BootTime();
    const bool bootKnown = mark.substr(16, 16) != std::string(16, '0') && boot;
    const bool shared = IsSharedFileSystem(dir.Path());
    const auto name = [](WriterFile kind, const std::string& target, const std::string& writer) {
        return WriterFileName(kind, target, writer, 3);
    };
    enum Made { kFile, kFolder, kLink };
    constexpr uid_t kOtherUser = 4242;
    const bool root = ::geteuid() == 0;
    const auto old = fs::file_time_type::clock::now() - std::chrono::seconds(kStaleSeconds + 60);
    const auto at = [](std::time_t t) {
        return std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(t));
    };
    // Old enough to be taken, and yet since this boot (young, and so kept anyway, on a
    // machine that started minutes ago).
    const auto sinceBoot = boot ? std::max(old, at(*boot + 2 * kBootMarginSeconds)) : old;
    const struct {
        std::string name;
        bool removed;
        Made kind = kFile;
        bool young = false;
        bool otherUser = false;
        std::optional<fs::file_time_type> modified = std::nullopt;  // when not `old`
    } cases[] = {
        {name(WriterFile::kTemporary, "Dv_20210305_140709.csv", Writer(mark, gone)), true},
        {name(WriterFile::kOlder, "AG__-220101-120000-000001M.MOV", Writer(mark, gone)), true},
        // Written minutes ago at most: its writer may be on its way still.
        {name(WriterFile::kTemporary, "young.jpg", Writer(mark, gone)), false, kFile, true},
        // Another user's, in a folder where anyone may write (only root can make one).
        {name(WriterFile::kTemporary, "theirs.jpg", Writer(mark, gone)), !root, kFile, false, root},
        // Another machine or pid namespace: the process id is not this one's.
        {name(WriterFile::kTemporary, "shared.MOV", Writer(otherMark, gone)), false},
        {name(WriterFile::kTemporary, "container.MOV", Writer(otherNamespace, gone)), false},
        // This machine's earlier boot: its writer is gone whatever runs now under its id,
        // when the file is older than this boot. A file written since this boot under
        // another boot's mark is a clone's (its name and machine id, another boot) where the
        // folder is shared; on this machine's own disk no clone writes.
        {name(WriterFile::kTemporary, "rebooted.MOV", Writer(earlierBoot, ::getppid())), bootKnown, kFile, false,
         false, boot ? std::optional(at(*boot - 3600)) : std::nullopt},
        {name(WriterFile::kTemporary, "clone.MOV", Writer(earlierBoot, gone)), bootKnown && !shared, kFile, false,
         false, sinceBoot},
        // A writer that still runs: another process, and this one.
        {name(WriterFile::kTemporary, "Default_Folder.ini", Writer(mark, ::getppid())), false},
        {name(WriterFile::kTemporary, "a.jpg", Writer(mark, ::getpid())), false},
        // A writer whose journal stays (here one that cannot be read) keeps its files.
        {name(WriterFile::kTemporary, "kept.MOV", Writer(mark, goneWithJournal)), false},
        {name(WriterFile::kJournal, "kept.MOV", Writer(mark, goneWithJournal)), false},
        // Another user's journal keeps none of this user's files, and is not this user's to
        // remove (only root can make one).
        {name(WriterFile::kTemporary, "mine.MOV", Writer(mark, goneWithOthersJournal)), root},
        {name(WriterFile::kJournal, "theirs.MOV", Writer(mark, goneWithOthersJournal)), false, kFile, false, root},
        // Names that are not the program's own: without the host's mark (an older
        // version's), not hidden, or with more behind.
        {".b.jpg.orvanta5-tmp-" + std::to_string(gone) + "-1", false},
        {name(WriterFile::kTemporary, "c.jpg", Writer(mark, gone)).substr(1), false},
        {name(WriterFile::kTemporary, "d.jpg", Writer(mark, gone)) + "x", false},
        {"AG__-220101-120000-000001M.MOV", false},
        // Only regular files are removed.
        {name(WriterFile::kTemporary, "f.jpg", Writer(mark, gone)), false, kFolder},
        {name(WriterFile::kTemporary, "g.jpg", Writer(mark, gone)), false, kLink},
    };
    const std::string elsewhere = dir.Path() + "/elsewhere";
    std::ofstream(elsewhere) << "kept";
    for (const auto& c : cases) {
        const std::string path = dir.Path() + "/" + c.name;
        if (c.kind == kFile) std::ofstream(path) << "part";
        if (c.kind == kFolder) fs::create_directory(path);
        if (c.kind == kLink) fs::create_symlink(elsewhere, path);
        ASSERT_TRUE(fs::exists(fs::symlink_status(path))) << c.name;
        if (c.kind != kLink && !c.young) fs::last_write_time(path, c.modified.value_or(old));
        if (c.otherUser) {
            ASSERT_EQ(::chown(path.c_str(), kOtherUser, kOtherUser), 0);
        }
    }
    ASSERT_TRUE(Put(dir.Path() + "/new.csv", "list"));
    for (const auto& c : cases) {
        EXPECT_EQ(!fs::exists(fs::symlink_status(dir.Path() + "/" + c.name)), c.removed) << c.name;
    }
    EXPECT_EQ(ReadAll(elsewhere), "kept");
}

}  // namespace
}  // namespace orv
