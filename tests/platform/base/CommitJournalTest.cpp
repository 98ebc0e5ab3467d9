// The journal of a commit as the next process reads it: untrusted bytes that may only ever
// lead to files of its own writer, in its own folder.
#include "platform/base/CommitJournal.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "fixtures/TempDir.h"
#include "platform/base/ErrorReport.h"
#include "platform/base/WriterName.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

constexpr const char* kWriter = "0123456789abcdef0123456789abcdef0123456789abcdef-4242";

std::string Temporary(const std::string& target, const std::string& writer = kWriter) {
    return WriterFileName(WriterFile::kTemporary, target, writer, 1);
}
std::string Older(const std::string& target, const std::string& writer = kWriter) {
    return WriterFileName(WriterFile::kOlder, target, writer, 2);
}

pid_t GonePid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

CommitPlan PlanOf(std::vector<CommitEntry> entries) { return CommitPlan{kWriter, std::move(entries)}; }

std::string NameOf(const std::string& target) { return fs::path(target).filename().string(); }

// A new file over a target where nothing stood, or over an older file.
CommitEntry Put(const std::string& target, std::optional<FileIdentity> older = std::nullopt) {
    return {target, Temporary(NameOf(target)), Older(NameOf(target)), FileIdentity{123, -5, 77}, older};
}
CommitEntry Drop(const std::string& target) {
    return {target, "", Older(NameOf(target)), std::nullopt, FileIdentity{7, 9, 0}};
}

// Journal lines with the sum that makes them whole.
std::string Summed(const std::string& lines) { return lines + "sum " + HashHex(lines) + "\n"; }

TEST(CommitJournal, AJournalIsReadBackOnlyWholeAndOnlyWithinItsFolder) {
    // Names with the bytes that end a field or a line come back as they were.
    const CommitPlan plan =
        PlanOf({Put("Normal/a b%c\nd.MOV", FileIdentity{1, 1'700'000'000'123'456'789, 0}), Drop("_NData/x.ADA"), Put("movie")});
    const std::string bytes = EncodeCommitPlan(plan);
    EXPECT_EQ(ParseCommitPlan(bytes, kWriter), plan);
    // The mark of a commit whose new files stand is appended behind the sum; a power cut
    // may cut it short or leave other bytes there, which mark nothing.
    const struct {
        std::string tail;
        bool placed;
    } tails[] = {{"placed\n", true}, {"placed", false}, {"pla", false}, {"\n", false}, {"placed\nplaced\n", false},
                 {std::string(7, '\0'), false}};
    for (const auto& t : tails) {
        SCOPED_TRACE(testing::PrintToString(t.tail));
        CommitPlan marked = plan;
        marked.placed = t.placed;
        EXPECT_EQ(ParseCommitPlan(bytes + t.tail, kWriter), marked);
    }
    // A journal of the earlier format, which named no older file beside a new one.
    CommitPlan earlier = PlanOf({Put("movie"), Drop("x")});
    earlier.entries[0].newFile->inode = 0;
    earlier.entries[0].olderRecorded = false;
    const std::string head = "writer " + std::string(kWriter) + "\n";
    EXPECT_EQ(ParseCommitPlan(Summed("orvanta5 commit 2\n" + head + "put movie " + Temporary("movie") + " " +
                                     Older("movie") + " 123 -5\ndrop x " + Older("x") + " 7 9\n"),
                              kWriter),
              earlier);

    const struct {
        const char* what;
        std::string bytes;
    } refused[] = {
        {"another writer's", bytes},
        {"cut short", bytes.substr(0, bytes.size() - 10)},
        {"a byte changed", std::string(bytes).replace(30, 1, "X")},
        {"nothing", ""},
        {"no entry", EncodeCommitPlan(PlanOf({}))},
        {"a path above its folder", EncodeCommitPlan(PlanOf({Put("../movie")}))},
        {"a path from the root", EncodeCommitPlan(PlanOf({Put("/home/movie")}))},
        {"a path through '.'", EncodeCommitPlan(PlanOf({Put("a/./movie")}))},
        {"an empty component", EncodeCommitPlan(PlanOf({Put("a//movie")}))},
        {"too deep", EncodeCommitPlan(PlanOf({Put("a/b/c/d/movie")}))},
        {"a target that is a writer's file", EncodeCommitPlan(PlanOf({Put(Temporary("movie"))}))},
        {"a target twice", EncodeCommitPlan(PlanOf({Put("movie"), Drop("movie")}))},
        {"a new file of another writer",
         EncodeCommitPlan(PlanOf({{"movie", Temporary("movie", "0123456789abcdef0123456789abcdef0123456789abcdef-1"), Older("movie"), FileIdentity{}, {}}}))},
        {"an older file named as a new one", EncodeCommitPlan(PlanOf({{"movie", Temporary("movie"), Temporary("x"), FileIdentity{}, {}}}))},
        {"a new file in another folder", EncodeCommitPlan(PlanOf({{"movie", "../" + Temporary("movie"), Older("movie"), FileIdentity{}, {}}}))},
        {"too many entries", EncodeCommitPlan(PlanOf(std::vector<CommitEntry>(kMaxJournalEntries + 1, Drop("x"))))},
        {"a drop of nothing", EncodeCommitPlan(PlanOf({{"x", "", Older("x"), {}, {}}}))},
        {"a new file that is none",
         Summed("orvanta5 commit 3\n" + head + "put movie " + Temporary("movie") + " " + Older("movie") + " none none\n")},
        {"an identity of two numbers",
         Summed("orvanta5 commit 3\n" + head + "drop x " + Older("x") + " 7,9\n")},
        {"an earlier line in the newer format",
         Summed("orvanta5 commit 3\n" + head + "drop x " + Older("x") + " 7 9\n")},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.what);
        EXPECT_FALSE(ParseCommitPlan(r.bytes, &r == refused ? "0123456789abcdef0123456789abcdef0123456789abcdef-4243" : kWriter));
    }
}

// A journal is followed only when it is this user's and this host's and its writer has
// gone; one of another host (another mark) or of another user is left alone, and so is
// what it names.
TEST(CommitJournal, OnlyThisUsersJournalsOfGoneWritersOnThisHostAreFollowed) {
    const pid_t gone = GonePid();
    ASSERT_GT(gone, 0);
    // The mark is the machine's 16 digits, its boot's 16 and its pid namespace's 16.
    const std::string mark = HostMark();
    const auto withPart = [&](std::size_t part) {
        std::string other = mark;
        other[16 * part] = other[16 * part] == '1' ? '2' : '1';
        return other;
    };
    const std::string otherMark = withPart(0);
    const std::optional<std::time_t> boot = BootTime();
    const bool bootKnown = mark.substr(16, 16) != std::string(16, '0') && boot;
    // Where the folder is shared a clone of this machine (its name and machine id, another
    // boot) may write there; on this machine's own disk an earlier boot's writer is gone.
    const bool shared = IsSharedFileSystem(fixtures::TempDir().Path());
    const struct {
        const char* what;
        std::string writer;
        bool otherUser;
        bool followed;
        bool beforeBoot = false;  // the journal was last written before this boot
    } cases[] = {
        {"this host's", mark + "-" + std::to_string(gone), false, true},
        {"another host's", otherMark + "-" + std::to_string(gone), false, false},
        {"another pid namespace's", withPart(2) + "-" + std::to_string(gone), false, false},
        {"a running writer's", mark + "-" + std::to_string(::getppid()), false, false},
        {"this host's before its last boot", withPart(1) + "-" + std::to_string(::getppid()), false, bootKnown, true},
        {"another boot's, written since this boot", withPart(1) + "-" + std::to_string(gone), false,
         bootKnown && !shared},
        {"another user's", mark + "-" + std::to_string(gone), true, false},
    };
    for (const auto& c : cases) {
        if (c.otherUser && ::geteuid() != 0) continue;  // only root can make one
        SCOPED_TRACE(c.what);
        fixtures::TempDir dir;
        std::ofstream(dir.Path() + "/withdrawn") << "an older part";  // 13 bytes
        const CommitEntry entry{"withdrawn", "", WriterFileName(WriterFile::kOlder, "withdrawn", c.writer, 1), {},
                                FileIdentityOf(dir.Path() + "/withdrawn")};
        const std::string journal = dir.Path() + "/" + WriterFileName(WriterFile::kJournal, "withdrawn", c.writer, 2);
        std::ofstream(journal) << EncodeCommitPlan(CommitPlan{c.writer, {entry}});
        if (c.beforeBoot && boot) {
            const auto anHourBeforeBoot = std::chrono::system_clock::from_time_t(*boot - 3600);
            fs::last_write_time(journal, std::chrono::file_clock::from_sys(anHourBeforeBoot));
        }
        if (c.otherUser) {
            ASSERT_EQ(::chown(journal.c_str(), 4242, 4242), 0);
        }
        const auto staying = RecoverInterruptedCommits(dir.Path());
        EXPECT_EQ(fs::exists(dir.Path() + "/withdrawn"), !c.followed);
        EXPECT_EQ(fs::exists(journal), !c.followed);
        // Another user's journal does not keep this user's files either.
        EXPECT_EQ(staying.empty(), c.followed || c.otherUser || c.writer.compare(0, otherMark.size(), otherMark) == 0);
    }
}

// A journal found again after its commit ran to its end (its writer killed before it could
// remove it) changes nothing: the new file stays, and a file put at a name the set dropped
// after the commit is not the one planned to go, so it stays too.
TEST(CommitJournal, AJournalFoundAgainLeavesWhatCameAfterItsCommit) {
    fixtures::TempDir dir;
    const std::string writer = HostMark() + "-" + std::to_string(GonePid());
    std::ofstream(dir.Path() + "/movie") << "new movie";
    std::ofstream(dir.Path() + "/companion") << "copied later";
    const CommitPlan plan{writer,
                          {{"movie", Temporary("movie", writer), Older("movie", writer), FileIdentityOf(dir.Path() + "/movie"), {}},
                           {"companion", "", Older("companion", writer), {}, FileIdentity{15, 1'600'000'000'000'000'000, 0}}}};
    const std::string journal = dir.Path() + "/" + WriterFileName(WriterFile::kJournal, "movie", writer, 3);
    std::ofstream(journal) << EncodeCommitPlan(plan);

    EXPECT_TRUE(RecoverInterruptedCommits(dir.Path()).empty());
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir.Path())) {
        std::ifstream in(e.path());
        files[e.path().filename()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_EQ(files, (std::map<std::string, std::string>{{"movie", "new movie"}, {"companion", "copied later"}}));
}


std::string Text(const std::string& path) {
    if (!fs::exists(fs::symlink_status(path))) return "missing";
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A journal that cannot be finished (a file the user put at a name it was to take back, a
// file at a hidden name that is not the one it left there, or bytes that are no journal)
// stays, and is told of once however often it is found again, with where its older and new
// files lie; nothing it names is moved. Another user's journal is not this user's to
// report, nor does it keep this user's files.
TEST(CommitJournal, AJournalThatCannotBeFinishedIsReportedOnceWithWhereItsFilesLie) {
    std::vector<std::string> reports;
    SetErrorReportHook([&](const std::string&, const std::string& text) { reports.push_back(text); });
    const struct {
        const char* what;
        bool readable;
        bool otherUser;
        bool userFile = true;         // the user put a companion at its name
        bool olderTimeMoved = false;  // the older companion's time moved after the journal
    } cases[] = {
        {"a companion the user put where the older one was to come back", true, false},
        {"bytes that are no journal", false, false},
        {"another user's", false, true},
        // The file system keeps local times, and daylight saving time began since.
        {"the older companion's time moved by an hour", true, false, false, true},
    };
    for (const auto& c : cases) {
        if (c.otherUser && ::geteuid() != 0) continue;  // only root can make one
        SCOPED_TRACE(c.what);
        reports.clear();
        fixtures::TempDir dir;
        const std::string writer = HostMark() + "-" + std::to_string(GonePid());
        const std::string newMovie = dir.Path() + "/" + Temporary("movie", writer);
        const std::string olderCompanion = dir.Path() + "/" + Older("companion", writer);
        std::ofstream(dir.Path() + "/movie") << "older movie";
        std::ofstream(newMovie) << "new movie";
        std::ofstream(olderCompanion) << "older companion";
        const CommitPlan plan{writer,
                              {{"companion", "", Older("companion", writer), {}, FileIdentityOf(olderCompanion)},
                               {"movie", Temporary("movie", writer), Older("movie", writer), FileIdentityOf(newMovie),
                                FileIdentityOf(dir.Path() + "/movie")}}};
        if (c.userFile) std::ofstream(dir.Path() + "/companion") << "put here by the user";
        if (c.olderTimeMoved)
            fs::last_write_time(olderCompanion, fs::last_write_time(olderCompanion) + std::chrono::hours(1));
        const std::string journal = dir.Path() + "/" + WriterFileName(WriterFile::kJournal, "companion", writer, 3);
        std::ofstream(journal) << (c.readable ? EncodeCommitPlan(plan) : "orvanta5 commit 3\nno journal\n");
        if (c.otherUser) {
            ASSERT_EQ(::chown(journal.c_str(), 4242, 4242), 0);
        }

        for (int look = 0; look < 3; ++look)
            EXPECT_EQ(RecoverInterruptedCommits(dir.Path()).empty(), c.otherUser);
        EXPECT_EQ(Text(dir.Path() + "/companion"), c.userFile ? "put here by the user" : "missing");
        EXPECT_EQ(Text(olderCompanion), "older companion");
        EXPECT_EQ(Text(dir.Path() + "/movie"), "older movie");
        EXPECT_EQ(Text(newMovie), "new movie");
        EXPECT_TRUE(fs::exists(journal));
        if (c.otherUser) {
            EXPECT_TRUE(reports.empty());
            continue;
        }
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(reports[0].find(journal), std::string::npos) << reports[0];
        if (c.readable) {
            EXPECT_NE(reports[0].find("older " + dir.Path() + "/companion lies at " + olderCompanion), std::string::npos)
                << reports[0];
            EXPECT_NE(reports[0].find("new " + dir.Path() + "/movie lies at " + newMovie), std::string::npos) << reports[0];
        }
    }
    SetErrorReportHook({});
}

// A journal of the earlier format did not record the file its new one replaces: what stands
// at such a target is never moved aside (it may be the older file, or one the user put
// there); the commit goes on only where the target is free, and is undone otherwise.
TEST(CommitJournal, AJournalOfTheEarlierFormatNeverMovesAFileItDidNotRecord) {
    const struct {
        const char* what;
        bool olderAside;  // killed after the older movie went aside
        std::map<std::string, std::string> after;
    } cases[] = {
        {"a file at the target", false, {{"movie", "older movie"}, {"new", "new movie"}}},
        {"the target free", true, {{"movie", "new movie"}, {"older", "older movie"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fixtures::TempDir dir;
        const std::string writer = HostMark() + "-" + std::to_string(GonePid());
        const std::map<std::string, std::string> names{
            {"movie", "movie"}, {"new", Temporary("movie", writer)}, {"older", Older("movie", writer)}};
        std::ofstream(dir.Path() + "/" + names.at(c.olderAside ? "older" : "movie")) << "older movie";
        std::ofstream(dir.Path() + "/" + names.at("new")) << "new movie";
        const auto made = FileIdentityOf(dir.Path() + "/" + names.at("new"));
        ASSERT_TRUE(made);
        std::ofstream(dir.Path() + "/" + WriterFileName(WriterFile::kJournal, "movie", writer, 3))
            << Summed("orvanta5 commit 2\nwriter " + writer + "\nput movie " + names.at("new") + " " +
                      names.at("older") + " " + std::to_string(made->size) + " " + std::to_string(made->modified) + "\n");

        EXPECT_TRUE(RecoverInterruptedCommits(dir.Path()).empty());
        std::map<std::string, std::string> after;
        for (const auto& [role, name] : names)
            if (fs::exists(dir.Path() + "/" + name)) after[role] = Text(dir.Path() + "/" + name);
        EXPECT_EQ(after, c.after);
    }
}

}  // namespace
}  // namespace orv
