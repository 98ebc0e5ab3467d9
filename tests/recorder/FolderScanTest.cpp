#include "recorder/FolderScan.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/CardBuilder.h"
#include "fixtures/TempDir.h"
#include "platform/base/Drives.h"
#include "platform/base/FileOps.h"
#include "platform/base/PathUtil.h"
#include "recorder/FileEntrySort.h"
#include "recorder/RecordingName.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using fixtures::CardBuilder;
using fixtures::RecorderName;
using fixtures::RecordingSpec;

// Records what a scan does to the tree. Item handles are 1-based indexes into `items`;
// `preexisting` items count without being listed, to bring the tree near its limit.
class RecordingTree : public IFolderTree {
public:
    struct Item {
        FolderTreeItem parent;
        std::string text;
        std::uintptr_t data = 0;
        int dataWrites = 0;
    };

    int GetItemCount() const override { return preexisting + int(items.size()); }

    std::optional<FolderTreeItem> InsertItem(FolderTreeItem parent,
                                             const std::string& text) override {
        items.push_back({parent, text});
        if (onInsert) onInsert(text);
        return FolderTreeItem(items.size());
    }

    void SetItemData(FolderTreeItem item, std::uintptr_t data) override {
        Item& i = items.at(item - 1);
        i.data = data;
        ++i.dataWrites;
    }

    std::vector<std::string> Children(FolderTreeItem parent) const {
        std::vector<std::string> out;
        for (const Item& i : items)
            if (i.parent == parent) out.push_back(i.text);
        return out;
    }

    // The item reached from the root by the texts of `path` ("Normal/220101_0001").
    const Item* Find(const std::string& path) const {
        FolderTreeItem at = kFolderTreeRoot;
        const Item* found = nullptr;
        for (std::size_t begin = 0; begin <= path.size();) {
            const std::size_t end = std::min(path.find('/', begin), path.size());
            const std::string part = path.substr(begin, end - begin);
            found = nullptr;
            for (std::size_t k = 0; k < items.size(); ++k) {
                if (items[k].parent == at && items[k].text == part) {
                    found = &items[k];
                    at = k + 1;
                    break;
                }
            }
            if (!found) return nullptr;
            begin = end + 1;
        }
        return found;
    }

    int preexisting = 0;
    std::vector<Item> items;
    std::function<void(const std::string&)> onInsert;
};

std::vector<std::string> Names(const std::vector<sFILEENTRY>& entries) {
    std::vector<std::string> out;
    for (const sFILEENTRY& e : entries) out.emplace_back(PathFindFileName(e.path));
    return out;
}

std::vector<std::string> Paths(const std::vector<sFILEENTRY>& entries) {
    std::vector<std::string> out;
    for (const sFILEENTRY& e : entries) out.push_back(e.path);
    return out;
}

sFILEENTRY Entry(const std::string& path, bool directory = false) {
    sFILEENTRY e;
    e.path = path;
    if (directory) e.attributes = sFILEENTRY::kAttrDirectory;
    return e;
}

std::uint64_t SizeOf(const std::string& path) { return std::uint64_t(fs::file_size(path)); }

class FolderScanTest : public ::testing::Test {
protected:
    void TearDown() override { SetDriveRootProvider({}); }

    // A card root in the temp folder that acts as a drive of its own.
    CardBuilder Card(const std::string& name = "card") {
        CardBuilder card(PathAppend(tmp_.Path(), name));
        const std::string root = card.Root();
        SetDriveRootProvider([root](const std::string&) { return root; });
        return card;
    }

    static RecordingSpec Spec(int layout, const std::string& letters, int serial,
                              bool mainSub = false) {
        RecordingSpec s;
        s.layout = layout;
        s.letters = letters;
        s.serial = serial;
        s.mainSub = mainSub;
        s.data = fixtures::DataBlock{};
        return s;
    }

    bool Scan(const std::string& path, RecordingTree* tree, bool recursive,
              FolderTreeItem parent = kFolderTreeRoot, int depth = 0) {
        ScanTarget target{entries_, folders_, tree, recursive};
        return ScanSourcePath(path, scanned_, target, parent, depth);
    }

    fixtures::TempDir tmp_;
    std::vector<sFILEENTRY> entries_;
    std::vector<sFILEENTRY> folders_;
    std::string scanned_;
};

TEST_F(FolderScanTest, CardWithMainAndSubFoldersFillsGroupsUnderEachMovieFolder) {
    CardBuilder card = Card();
    ASSERT_TRUE(card.MakeLayoutFolders(0));
    std::vector<fixtures::RecordingPaths> paths;
    for (const auto& [letters, serial] : std::vector<std::pair<std::string, int>>{
             {"A___", 3}, {"A___", 1}, {"AM__", 2}, {"AG_S", 10}, {"P___", 20}, {"PG__", 21}}) {
        RecordingSpec params = Spec(0, letters, serial, true);
        ASSERT_FALSE(card.AddRecording(params).empty());
        paths.push_back(card.PathsFor(params));
    }
    // The rear movie of serial 3 is missing; serial 1 has no data file.
    fs::remove(paths[0].rear);
    fs::remove(paths[1].data);

    RecordingTree tree;
    ASSERT_TRUE(Scan(card.Root(), &tree, true));
    EXPECT_EQ(scanned_, card.Root());

    EXPECT_EQ(tree.Children(kFolderTreeRoot),
              (std::vector<std::string>{"Normal", "Parking", "_NData", "_PData"}));
    const RecordingTree::Item* group1 = tree.Find("Normal/220101_0001");
    const RecordingTree::Item* group2 = tree.Find("Normal/220101_0002");
    const RecordingTree::Item* parking = tree.Find("Parking/220101_0001");
    ASSERT_TRUE(group1 && group2 && parking);
    EXPECT_EQ(tree.items.size(), 7u);
    EXPECT_EQ(group1->data, std::uintptr_t(REC_FLAG_CONTINUOUS | REC_FLAG_MANUAL));
    EXPECT_EQ(group2->data, std::uintptr_t(REC_FLAG_CONTINUOUS | REC_FLAG_IMPACT));
    EXPECT_EQ(parking->data, std::uintptr_t(REC_FLAG_PARKING | REC_FLAG_PARKING_IMPACT));
    EXPECT_EQ(group1->dataWrites, 1);
    // The movie folders hold only "Main" and "Sub_" themselves.
    EXPECT_EQ(tree.Find("Normal")->data, 0u);

    // Driving movies by serial, then parking movies; serials count the list.
    const std::vector<int> order = {1, 2, 0, 3, 4, 5};
    ASSERT_EQ(entries_.size(), order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const sFILEENTRY& e = entries_[i];
        const fixtures::RecordingPaths& p = paths[order[i]];
        EXPECT_EQ(e.path, p.front);
        EXPECT_EQ(e.serial, int(i));
        EXPECT_EQ(e.kindLetter, int(PathFindFileName(p.front)[0]));
        EXPECT_EQ(e.movieSize, SizeOf(p.front));
        EXPECT_EQ(e.companionSize, fs::exists(p.rear) ? SizeOf(p.rear) : 0u);
        EXPECT_EQ(e.dataSize, fs::exists(p.data) ? SizeOf(p.data) : 0u);
    }
    EXPECT_EQ(entries_[2].companionSize, 0u);
    EXPECT_EQ(entries_[0].dataSize, 0u);
    EXPECT_GT(entries_[1].dataSize, 0u);

    const std::string normalMain = card.PathOf("Normal/Main");
    EXPECT_EQ(Paths(folders_),
              (std::vector<std::string>{
                  normalMain + "/220101_0001", normalMain + "/220101_0002", card.PathOf("Normal"),
                  card.PathOf("Parking/Main/220101_0001"), card.PathOf("Parking"),
                  card.PathOf("_NData"), card.PathOf("_PData")}));
    for (const sFILEENTRY& f : folders_) {
        EXPECT_EQ(f.serial, -1);
        EXPECT_EQ(f.movieSize, sFILEENTRY::kNoSize);
        EXPECT_EQ(f.dataSize, sFILEENTRY::kNoSize);
    }
}

TEST_F(FolderScanTest, FactsOfTheCardScanServeTheFolderScanThatFollowsUntilAFolderChanges) {
    // The card is scanned with facts kept, then its movie folder as the browser opens it. A
    // movie grown in place (its folder keeps its times) shows whether the facts were read
    // again; each case then changes a folder, or nothing.
    struct Case {
        const char* name;
        std::function<void(CardBuilder&)> change;
        std::vector<int> serials;  // of the folder scan's entries
        bool factsServed;                // the grown movie keeps its old size
        bool dataOfFirst;                // recording 1 has its data file
    };
    const std::vector<Case> cases = {
        {"nothing", [](CardBuilder&) {}, {1, 2}, true, true},
        {"recording added",
         [](CardBuilder& card) { ASSERT_FALSE(card.AddRecording(Spec(1, "A___", 3)).empty()); },
         {1, 2, 3}, false, true},
        {"data file removed in its own folder",
         [](CardBuilder& card) { fs::remove(card.PathsFor(Spec(1, "A___", 1)).data); },
         {1, 2}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CardBuilder card = Card(std::string("card-") + std::to_string(&c - cases.data()));
        ASSERT_TRUE(card.MakeLayoutFolders(1));
        for (int serial : {1, 2}) ASSERT_FALSE(card.AddRecording(Spec(1, "A___", serial)).empty());
        const std::string grown = card.PathsFor(Spec(1, "A___", 2)).front;
        const std::uint64_t before = SizeOf(grown);

        ScanFacts facts;
        RecordingTree cardTree;
        ScanTarget whole{entries_, folders_, &cardTree, true};
        ASSERT_TRUE(ScanSourcePath(card.Root(), scanned_, whole, kFolderTreeRoot, 0, &facts));
        EXPECT_TRUE(facts.Unchanged());
        fs::resize_file(grown, before + 100);
        c.change(card);
        EXPECT_EQ(facts.Unchanged(), c.factsServed);

        // The same folder scan with the facts and without them: the same outcome but for what
        // the facts spared reading.
        const std::string video = card.PathOf("Video");
        RecordingTree withTree, freshTree;
        std::vector<sFILEENTRY> withEntries, freshEntries, withFolders, freshFolders;
        ScanTarget with{withEntries, withFolders, &withTree, true};
        ScanTarget fresh{freshEntries, freshFolders, &freshTree, true};
        ASSERT_TRUE(ScanSourcePath(video, scanned_, with, kFolderTreeRoot, 0, &facts));
        ASSERT_TRUE(ScanSourcePath(video, scanned_, fresh, kFolderTreeRoot, 0));
        std::vector<std::string> names;
        for (int serial : c.serials) names.emplace_back(PathFindFileName(card.PathsFor(Spec(1, "A___", serial)).front));
        EXPECT_EQ(Names(withEntries), names);
        EXPECT_EQ(Names(freshEntries), names);
        EXPECT_EQ(Paths(withFolders), Paths(freshFolders));
        EXPECT_EQ(withTree.Children(kFolderTreeRoot), freshTree.Children(kFolderTreeRoot));
        ASSERT_EQ(withEntries.size(), freshEntries.size());
        for (std::size_t i = 0; i < withEntries.size(); ++i) {
            EXPECT_EQ(withEntries[i].serial, int(i));
            EXPECT_EQ(freshEntries[i].serial, int(i));
            EXPECT_EQ(withEntries[i].companionSize, freshEntries[i].companionSize);
            EXPECT_EQ(withEntries[i].dataSize, freshEntries[i].dataSize);
            EXPECT_EQ(withEntries[i].kindLetter, freshEntries[i].kindLetter);
        }
        EXPECT_EQ(withEntries[1].movieSize, c.factsServed ? before : before + 100);
        EXPECT_EQ(freshEntries[1].movieSize, before + 100);
        EXPECT_EQ(withEntries[0].dataSize > 0, c.dataOfFirst);
        entries_.clear();
        folders_.clear();
    }
}

TEST_F(FolderScanTest, VideoLayoutCardPutsVideoBeforeParking) {
    CardBuilder card = Card();
    ASSERT_TRUE(card.MakeLayoutFolders(1));
    const RecordingSpec driving = Spec(1, "A_R_", 7);
    const RecordingSpec parked = Spec(1, "P___", 8);
    ASSERT_FALSE(card.AddRecording(parked).empty());
    ASSERT_FALSE(card.AddRecording(driving).empty());
    card.AddTraceFile();

    RecordingTree tree;
    ASSERT_TRUE(Scan(card.Root(), &tree, true));
    EXPECT_EQ(tree.Children(kFolderTreeRoot),
              (std::vector<std::string>{"Video", "Parking", "_PData", "_VData"}));
    ASSERT_EQ(entries_.size(), 2u);
    const fixtures::RecordingPaths p = card.PathsFor(driving);
    EXPECT_EQ(entries_[0].path, p.front);
    EXPECT_EQ(entries_[0].companionSize, SizeOf(p.rear));
    EXPECT_EQ(entries_[0].dataSize, SizeOf(p.data));
    EXPECT_EQ(entries_[1].path, card.PathsFor(parked).front);
    // The movies lie in the media folders themselves, so those items carry their flags.
    EXPECT_EQ(tree.Find("Video")->data, std::uintptr_t(REC_FLAG_CONTINUOUS | REC_FLAG_RADAR));
    EXPECT_EQ(tree.Find("Video/220101_0001")->data,
              std::uintptr_t(REC_FLAG_CONTINUOUS | REC_FLAG_RADAR));
    EXPECT_EQ(tree.Find("Parking")->data, std::uintptr_t(REC_FLAG_PARKING));
}

TEST_F(FolderScanTest, ClassifiesFoldersRecorderFoldersAndFiles) {
    CardBuilder card = Card();
    card.AddFolder("plain/sub");
    card.AddFolder("withMain/Main");
    card.AddFolder("withMainLower/main");
    card.AddStubMovie("movies/" + RecorderName("A___", "220101", "120000", 1, 'M'));
    card.AddStubMovie("rearOnly/" + RecorderName("A___", "220101", "120000", 1, 'S'));
    std::vector<sFILEENTRY> scratch = {Entry("left over")};
    EXPECT_EQ(ClassifySourcePath(card.PathOf("plain"), scratch), SOURCE_PATH_FOLDER);
    EXPECT_EQ(Names(scratch), std::vector<std::string>{"sub"});
    EXPECT_EQ(ClassifySourcePath(card.PathOf("withMain"), scratch), SOURCE_PATH_RECORDER);
    EXPECT_EQ(ClassifySourcePath(card.PathOf("withMainLower"), scratch), SOURCE_PATH_FOLDER);
    EXPECT_EQ(ClassifySourcePath(card.PathOf("movies"), scratch), SOURCE_PATH_RECORDER);
    EXPECT_EQ(ClassifySourcePath(card.PathOf("rearOnly"), scratch), SOURCE_PATH_FOLDER);
    EXPECT_EQ(ClassifySourcePath(card.PathOf("movies/x.MOV"), scratch), SOURCE_PATH_FILE);
    EXPECT_EQ(ClassifySourcePath(card.PathOf("missing"), scratch), SOURCE_PATH_FILE);
    EXPECT_TRUE(scratch.empty());
}

TEST_F(FolderScanTest, OrdinaryFolderGetsOneLevelOfItemsWithoutRecursiveFill) {
    CardBuilder card = Card();
    card.AddFolder("trip/b/deeper");
    card.AddFolder("trip/a");
    card.AddFolder("trip/.hidden");
    card.AddNames("trip", {"notes.txt", "clip.MOV"});
    card.AddStubMovie("trip/b/" + RecorderName("A___", "220101", "120000", 1, 'M'));

    RecordingTree tree;
    const FolderTreeItem top = *tree.InsertItem(kFolderTreeRoot, "trip");
    ASSERT_TRUE(Scan(card.PathOf("trip"), &tree, false, top));
    EXPECT_EQ(scanned_, card.PathOf("trip"));
    EXPECT_EQ(tree.Children(top), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(tree.items.size(), 3u);
    EXPECT_TRUE(entries_.empty());
    EXPECT_TRUE(folders_.empty());

    // Opening "b" as the browser does: its movie is listed.
    ASSERT_TRUE(Scan(card.PathOf("trip/b"), &tree, false, 3, 1));
    EXPECT_EQ(Names(entries_),
              std::vector<std::string>{RecorderName("A___", "220101", "120000", 1, 'M')});
}

TEST_F(FolderScanTest, RecursiveWalkStopsAtDepthThree) {
    CardBuilder card = Card();
    card.AddStubMovie("d1/d2/d3/" + RecorderName("A___", "220101", "120000", 3, 'M'));
    card.AddStubMovie("d1/d2/d3/d4/" + RecorderName("A___", "220101", "120000", 4, 'M'));
    card.AddFolder("e1/e2/e3/e4/e5");

    RecordingTree tree;
    ASSERT_TRUE(Scan(card.Root(), &tree, true));
    EXPECT_NE(tree.Find("d1/d2/d3/220101_0001"), nullptr);
    EXPECT_EQ(tree.Find("d1/d2/d3/d4"), nullptr);
    EXPECT_NE(tree.Find("e1/e2/e3"), nullptr);
    EXPECT_EQ(tree.Find("e1/e2/e3/e4"), nullptr);
    EXPECT_EQ(Names(entries_),
              std::vector<std::string>{RecorderName("A___", "220101", "120000", 3, 'M')});

    entries_.clear();
    int files = 0;
    ASSERT_TRUE(CollectMovieEntries(card.Root(), entries_, files, 0));
    EXPECT_EQ(Names(entries_),
              std::vector<std::string>{RecorderName("A___", "220101", "120000", 3, 'M')});
    EXPECT_EQ(files, 0);
}

TEST_F(FolderScanTest, ChosenFileScansItsFolderOrTheMainBesideIt) {
    CardBuilder card = Card();
    ASSERT_TRUE(card.MakeLayoutFolders(0));
    std::vector<std::string> fronts;
    for (int serial : {1, 2, 9})  // 9 starts a second group
        fronts.push_back(card.AddRecording(Spec(0, "A___", serial, true)));

    RecordingTree tree;
    ASSERT_TRUE(Scan(fronts[1], &tree, false));
    EXPECT_EQ(scanned_, card.PathOf("Normal/Main"));
    EXPECT_EQ(Paths(entries_), fronts);
    EXPECT_EQ(tree.Children(kFolderTreeRoot),
              (std::vector<std::string>{"220101_0001", "220101_0002"}));

    // Another file of the movie folder reaches the "Main" beside it.
    entries_.clear();
    card.AddNames("Normal", {"other.MOV"});
    ASSERT_TRUE(Scan(card.PathOf("Normal/other.MOV"), nullptr, false));
    EXPECT_EQ(scanned_, card.PathOf("Normal/Main"));
    EXPECT_EQ(Paths(entries_), fronts);

    // A card without "Main": the movie's own folder.
    CardBuilder flat = Card("flat");
    const std::string front = flat.AddRecording(Spec(0, "A___", 5));
    entries_.clear();
    ASSERT_TRUE(Scan(front, nullptr, false));
    EXPECT_EQ(scanned_, flat.PathOf("Normal"));
    EXPECT_EQ(Paths(entries_), std::vector<std::string>{front});
    EXPECT_EQ(entries_[0].serial, 0);
}

// Runs `body` in a child process, as the user "nobody" when the test runs as root (root
// reads a locked folder all the same), and gives what it returned; none when the child
// could not become that user or could not reach `root`; a child that failed says so.
std::optional<std::string> RunUnprivileged(const std::string& root, const std::function<std::string()>& body) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return std::nullopt;
    const pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        ::close(pipeFds[0]);
        if (::geteuid() == 0) {
            const struct passwd* nobody = ::getpwnam("nobody");
            if (!nobody || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
                ::setuid(nobody->pw_uid) != 0)
                ::_exit(2);
        }
        if (::access(root.c_str(), R_OK | X_OK) != 0) ::_exit(3);
        const std::string out = body();
        const bool written = ::write(pipeFds[1], out.data(), out.size()) == ssize_t(out.size());
        ::_exit(written ? 0 : 4);
    }
    ::close(pipeFds[1]);
    std::string out;
    char buf[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) out.append(buf, std::size_t(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && (WEXITSTATUS(status) == 2 || WEXITSTATUS(status) == 3)) return std::nullopt;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "the child failed, status " + std::to_string(status);
    return out;
}

TEST_F(FolderScanTest, LockedOrMissingFoldersFailAndNeverScanTheirParent) {
    CardBuilder card = Card();
    ASSERT_TRUE(card.MakeLayoutFolders(0));
    card.AddRecording(Spec(0, "A___", 1));
    card.AddStubMovie("Normal/locked/" + RecorderName("A___", "220101", "120000", 2, 'M'));
    ASSERT_EQ(::chmod(card.PathOf("Normal/locked").c_str(), 0), 0);
    // The child, perhaps another user, must reach the card.
    ASSERT_EQ(::chmod(tmp_.Path().c_str(), 0755), 0);

    struct Case {
        const char* source;
        const char* outcome;  // ok, the folder scanned and the entries found
    };
    const Case cases[] = {
        {"Normal/locked", "false  0"},
        {"Normal/missing", "false  0"},
        {"Normal/missing.MOV", "false  0"},
        {"gone/220101_0001", "false  0"},
        {"Normal/220101_0001", "true Normal 1"},  // a group item of the browser
        {"Normal", "true Normal 1"},
    };
    const std::optional<std::string> seen = RunUnprivileged(card.Root(), [&] {
        std::string out;
        for (const Case& c : cases) {
            entries_.clear();
            scanned_.clear();
            const bool ok = Scan(card.PathOf(c.source), nullptr, false);
            std::string folder = scanned_.empty() ? "" : std::string(PathFindFileName(scanned_));
            out += std::string(ok ? "true " : "false ") + folder + " " + std::to_string(entries_.size()) + "\n";
        }
        return out;
    });
    ::chmod(card.PathOf("Normal/locked").c_str(), 0755);
    if (!seen) GTEST_SKIP() << "no unprivileged user that reaches the card to run the scan as";
    std::string expected;
    for (const Case& c : cases) expected += std::string(c.outcome) + "\n";
    EXPECT_EQ(*seen, expected);
}

TEST_F(FolderScanTest, LinkLoopsListEveryRecordingOnce) {
    CardBuilder card = Card();
    std::vector<std::string> movies;
    for (int serial : {1, 2})
        movies.push_back(card.AddStubMovie("trip/day1/" + RecorderName("A___", "220101", "120000", serial, 'M')));
    movies.push_back(card.AddStubMovie("trip/day2/Main/" + RecorderName("A___", "220102", "120000", 3, 'M')));
    fs::create_directory_symlink("..", card.PathOf("trip/back"));           // to its parent
    fs::create_directory_symlink(card.Root(), card.PathOf("trip/day1/root"));  // to the card root
    fs::create_directory_symlink("trip/day1", card.PathOf("again"));        // to a sibling's folder
    fs::create_directory_symlink("trip/day2/Main", card.PathOf("aMain"));   // to a "Main"

    const auto expectEachOnce = [&] {
        const std::vector<std::string> names = Names(entries_);
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size())
            << testing::PrintToString(Paths(entries_));
        EXPECT_EQ(entries_.size(), movies.size());
    };
    RecordingTree tree;
    ASSERT_TRUE(Scan(card.Root(), &tree, true));
    expectEachOnce();
    entries_.clear();
    int files = 0;
    ASSERT_TRUE(CollectMovieEntries(card.Root(), entries_, files, 0));
    expectEachOnce();
}

TEST_F(FolderScanTest, GroupItemPathListsOnlyThatGroup) {
    CardBuilder card = Card();
    ASSERT_TRUE(card.MakeLayoutFolders(0));
    std::vector<std::string> fronts;
    for (int serial : {1, 2, 9, 10})
        fronts.push_back(card.AddRecording(Spec(0, "A___", serial, true)));

    RecordingTree tree;
    const FolderTreeItem group = *tree.InsertItem(kFolderTreeRoot, "220101_0002");
    ASSERT_TRUE(Scan(card.PathOf("Normal/220101_0002"), &tree, true, group, 1));
    EXPECT_EQ(scanned_, card.PathOf("Normal/Main"));
    EXPECT_EQ(Paths(entries_), (std::vector<std::string>{fronts[2], fronts[3]}));
    EXPECT_EQ(entries_[0].serial, 0);
    EXPECT_EQ(tree.items.size(), 1u);
    EXPECT_TRUE(folders_.empty());
}

TEST_F(FolderScanTest, KeepsTheFirstThousandOfTwelveHundredMovies) {
    CardBuilder card = Card();
    RecordingSpec params;
    params.layout = -1;
    params.folder = "many";
    params.companion = false;
    params.stubSize = 300;
    for (int serial = 1200; serial >= 1; --serial) {
        params.serial = serial;
        ASSERT_FALSE(card.AddRecording(params).empty());
    }

    RecordingTree tree;
    ASSERT_TRUE(Scan(card.PathOf("many"), &tree, false));
    ASSERT_EQ(entries_.size(), std::size_t(kMaxScanEntries));
    for (int i = 0; i < kMaxScanEntries; ++i) {
        EXPECT_EQ(PathFindFileName(entries_[i].path),
                  RecorderName("A___", "220101", "120000", i + 1, 'M'));
        EXPECT_EQ(entries_[i].serial, i);
    }
    // Every movie is grouped, 200 to a group, also those past the entry limit.
    EXPECT_EQ(tree.Children(kFolderTreeRoot),
              (std::vector<std::string>{"220101_0001", "220101_0002", "220101_0003", "220101_0004",
                                        "220101_0005", "220101_0006"}));

    // A second scan numbers from 0 again.
    entries_.clear();
    ASSERT_TRUE(Scan(card.PathOf("many"), nullptr, false));
    EXPECT_EQ(entries_.front().serial, 0);
    EXPECT_EQ(entries_.back().serial, kMaxScanEntries - 1);
}

TEST_F(FolderScanTest, TreeTakesNoItemsPastFifteenHundred) {
    CardBuilder card = Card();
    for (int serial = 1; serial <= 5; ++serial) {
        RecordingSpec s = Spec(-1, "A__S", serial);  // 'S': every movie starts a group
        s.folder = "groups";
        card.AddRecording(s);
    }
    card.AddFolder("plain/x");

    RecordingTree tree;
    tree.preexisting = kMaxTreeItems - 2;
    ASSERT_TRUE(Scan(card.PathOf("groups"), &tree, false));
    EXPECT_EQ(tree.GetItemCount(), kMaxTreeItems);
    EXPECT_EQ(tree.Children(kFolderTreeRoot),
              (std::vector<std::string>{"220101_0001", "220101_0002"}));
    EXPECT_EQ(folders_.size(), 2u);
    EXPECT_EQ(entries_.size(), 5u);  // the movies are listed all the same

    ASSERT_TRUE(Scan(card.PathOf("plain"), &tree, true));
    EXPECT_EQ(tree.GetItemCount(), kMaxTreeItems);
}

TEST_F(FolderScanTest, MovieEntriesNeedAnOpenableMp4MovieFile) {
    CardBuilder card = Card();
    const std::string good =
        card.AddStubMovie("f/" + RecorderName("A___", "220101", "120000", 1, 'M'));
    card.AddFile("f/" + RecorderName("A___", "220101", "120000", 2, 'M'),
                 std::vector<std::uint8_t>(300, 'x'));
    card.AddStubMovie("f/" + RecorderName("A___", "220101", "120000", 3, 'M'),
                      100);  // too short to tell
    card.AddStubMovie("f/" + RecorderName("A___", "220101", "120000", 4, 'S'));
    card.AddFolder("f/" + RecorderName("A___", "220101", "120000", 5, 'M'));

    ASSERT_TRUE(Scan(card.PathOf("f"), nullptr, false));
    EXPECT_EQ(Paths(entries_), std::vector<std::string>{good});

    std::vector<sFILEENTRY> list;
    EXPECT_FALSE(AddMovieEntry(card.PathOf("f/missing.MOV"), list));
    EXPECT_FALSE(
        AddMovieEntry(card.PathOf("f/" + RecorderName("A___", "220101", "120000", 5, 'M')), list));
    const std::string text = card.AddFile("f/readme.txt", {'a'});
    EXPECT_FALSE(AddMovieEntry(text, list));
    const std::string odd = card.AddStubMovie("f/clip.mov", 50);
    ASSERT_TRUE(AddMovieEntry(odd, list));
    EXPECT_EQ(list[0].movieSize, 50u);
    EXPECT_EQ(list[0].kindLetter, 0);
    EXPECT_EQ(list[0].companionSize, 0u);
    EXPECT_EQ(list[0].dataSize, 0u);
}

// Whether `call` returns without anyone writing to the FIFOs. Opening a FIFO for reading
// waits for a writer; when the call has not returned after a long while, a guard plays the
// writer, so a call that would wait forever fails the test instead of hanging the run.
bool ReturnsWithoutAWriter(const std::vector<std::string>& fifos,
                           const std::function<void()>& call) {
    std::mutex lock;
    std::condition_variable returned;
    bool done = false;
    bool waited = false;
    std::thread guard([&] {
        std::unique_lock<std::mutex> hold(lock);
        if (returned.wait_for(hold, std::chrono::seconds(10), [&] { return done; })) return;
        waited = true;
        while (!done) {
            hold.unlock();
            for (const std::string& fifo : fifos) {
                const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            hold.lock();
        }
    });
    call();
    {
        std::lock_guard<std::mutex> hold(lock);
        done = true;
    }
    returned.notify_all();
    guard.join();
    return !waited;
}

TEST_F(FolderScanTest, FifosAreListedButNeverOpenedToWait) {
    CardBuilder card = Card();
    const std::string movie =
        card.AddStubMovie("f/" + RecorderName("A___", "220101", "120000", 1, 'M'));
    // A FIFO named like a front movie, and one in the place of the movie's companion.
    const std::vector<std::string> fifos = {
        card.PathOf("f/" + RecorderName("A___", "220101", "120000", 2, 'M')),
        card.PathOf("f/" + RecorderName("A___", "220101", "120000", 1, 'S'))};
    for (const std::string& fifo : fifos) ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    std::vector<sFILEENTRY> list;
    const bool returned = ReturnsWithoutAWriter(fifos, [&] {
        EXPECT_TRUE(EnumerateFolder(card.PathOf("f"), list));
        EXPECT_FALSE(IsPlayableFrontMovie(fifos[0]));
        EXPECT_FALSE(AddMovieEntry(fifos[0], list));
        EXPECT_TRUE(Scan(card.PathOf("f"), nullptr, false));
    });
    EXPECT_TRUE(returned) << "a FIFO was opened to wait for a writer";
    EXPECT_EQ(list.size(), 3u);
    ASSERT_EQ(Paths(entries_), std::vector<std::string>{movie});
    EXPECT_EQ(entries_[0].companionSize, 0u);
}

class HidingOps : public IFileOps {
public:
    bool IsHidden(const std::string& path) override {
        return path.find("HIDDEN") != std::string::npos;
    }
    bool SetHidden(const std::string&, bool) override { return true; }
    bool MoveNoReplace(const std::string& from, const std::string& to) override {
        return RealFileOps().MoveNoReplace(from, to);
    }
};

TEST_F(FolderScanTest, EnumerateSkipsDotNamesAndHiddenItems) {
    CardBuilder card = Card();
    card.AddNames("e", {"sub/", "a.txt", ".dot", ".dotdir/", "HIDDEN.MOV", "HIDDENDIR/"});
    HidingOps ops;
    ScopedFileOps scoped(&ops);
    std::vector<sFILEENTRY> list = {Entry("kept")};
    ASSERT_TRUE(EnumerateFolder(card.PathOf("e"), list));
    ASSERT_EQ(list.size(), 3u);
    std::sort(list.begin() + 1, list.end(),
              [](const sFILEENTRY& a, const sFILEENTRY& b) { return a.path < b.path; });
    EXPECT_EQ(list[1].path, card.PathOf("e/a.txt"));
    EXPECT_EQ(list[1].attributes, 0u);
    EXPECT_EQ(list[2].path, card.PathOf("e/sub"));
    EXPECT_EQ(list[2].attributes, sFILEENTRY::kAttrDirectory);
    EXPECT_EQ(list[2].serial, 0);
    EXPECT_EQ(list[2].movieSize, 0u);
    EXPECT_FALSE(EnumerateFolder(card.PathOf("nowhere"), list));
    EXPECT_FALSE(EnumerateFolder(card.PathOf("e/a.txt"), list));
    EXPECT_EQ(list.size(), 3u);
}

TEST_F(FolderScanTest, CollectGathersSubFoldersInRecorderOrder) {
    CardBuilder card = Card();
    ASSERT_TRUE(card.MakeLayoutFolders(1));
    std::vector<std::string> video;
    for (int serial : {5, 4}) video.push_back(card.AddRecording(Spec(1, "A___", serial)));
    const std::string parking = card.AddRecording(Spec(1, "P___", 6));
    const std::string nested =
        card.AddStubMovie("Video/old/" + RecorderName("A___", "211231", "235959", 1, 'M'));
    card.AddTraceFile();
    card.AddModelShortcut("KM1A_download");

    int files = 0;
    ASSERT_TRUE(CollectMovieEntries(card.Root(), entries_, files, 0));
    EXPECT_EQ(files, 2);
    // Folders by name: Parking, Video (its sub-folder "old" first), _PData, _VData.
    EXPECT_EQ(Paths(entries_), (std::vector<std::string>{parking, nested, video[1], video[0]}));
    EXPECT_EQ(entries_[0].serial, 0);

    EXPECT_FALSE(CollectMovieEntries(card.PathOf("missing"), entries_, files, 0));
}

TEST_F(FolderScanTest, PulledCardEndsTheScanWithWhatWasFound) {
    CardBuilder card = Card();
    ASSERT_TRUE(card.MakeLayoutFolders(0));
    const std::string driving = card.AddRecording(Spec(0, "A___", 1));
    card.AddRecording(Spec(0, "P___", 2));

    RecordingTree tree;
    tree.onInsert = [&](const std::string& text) {
        if (text == "Parking") fs::remove_all(card.Root());
    };
    EXPECT_FALSE(Scan(card.Root(), &tree, true));
    EXPECT_EQ(Paths(entries_), std::vector<std::string>{driving});
    EXPECT_EQ(tree.Children(kFolderTreeRoot), (std::vector<std::string>{"Normal", "Parking"}));

    int files = 0;
    entries_.clear();
    EXPECT_FALSE(CollectMovieEntries(card.Root(), entries_, files, 0));
    EXPECT_TRUE(entries_.empty());
}

TEST(FileEntryLists, AppendAndRemoveByName) {
    std::vector<sFILEENTRY> to = {Entry("/a/one"), Entry("/a/two")};
    const std::vector<sFILEENTRY> from = {Entry("/b/three"), Entry("/b/two")};
    EXPECT_EQ(AppendEntries(to, from), 2);
    EXPECT_EQ(AppendEntries(to, {}), 0);
    RemoveEntriesByName(to, {Entry("/elsewhere/two"), Entry("/x/four")});
    EXPECT_EQ(Paths(to), (std::vector<std::string>{"/a/one", "/b/three"}));
    RemoveEntriesByName(to, {});
    EXPECT_EQ(to.size(), 2u);

    std::vector<sFILEENTRY> folders;
    AddFolderEntry("/a/220101_0001", folders);
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].serial, -1);
    EXPECT_EQ(folders[0].kindLetter, 0);
    EXPECT_EQ(folders[0].companionSize, sFILEENTRY::kNoSize);
}

TEST(FileEntrySort, NameAndSerialOrders) {
    EXPECT_TRUE(CompareEntryNames(Entry("/z/B"), Entry("/a/a")));  // ordinal: upper case first
    EXPECT_FALSE(CompareEntryNames(Entry("/a/x"), Entry("/b/x")));
    EXPECT_TRUE(CompareEntryNames(Entry("/c/Parking"), Entry("/c/Video")));
    EXPECT_TRUE(CompareEntryNames(Entry("/c/Video"), Entry("/c/Parking"), true));
    EXPECT_TRUE(CompareEntryNames(Entry("/c/Normal"), Entry("/c/Video"), true));
    EXPECT_TRUE(CompareEntryNames(Entry("/c/Parking"), Entry("/c/Q"), true));
    EXPECT_TRUE(CompareEntryNames(Entry("/c/Video"), Entry("/c/Q"), true));
    EXPECT_TRUE(CompareEntryNames(Entry("/c/parking"), Entry("/c/video"),
                                  true));  // only the exact names move

    const sFILEENTRY early = Entry("/m/" + RecorderName("P___", "221231", "000000", 7, 'M'));
    const sFILEENTRY late = Entry("/m/" + RecorderName("A___", "220101", "000000", 12, 'S'));
    EXPECT_TRUE(CompareEntrySerials(early, late));
    EXPECT_FALSE(CompareEntrySerials(late, early));
    EXPECT_FALSE(CompareEntrySerials(Entry("/m/short"), Entry("/m/tiny")));  // both past their end
    EXPECT_TRUE(
        CompareEntrySerials(Entry("/m/abcdefghijklmnopqrs1"), Entry("/m/abcdefghijklmnopqrs12")));
}

TEST(FileEntrySort, RecorderFirstAndFoldersFirst) {
    const std::string a = RecorderName("A___", "220101", "120000", 3, 'M');
    const std::string b = RecorderName("PG__", "220101", "120000", 1, 'S');
    const std::string c = RecorderName("A___", "220101", "120000", 2, 'M');
    std::vector<sFILEENTRY> list = {Entry("/f/zz.txt"), Entry("/f/" + a), Entry("/f/dir", true),
                                    Entry("/f/" + b),   Entry("/f/" + c), Entry("/f/aa.txt")};
    SortEntriesRecorderFirst(list);
    EXPECT_EQ(Names(list), (std::vector<std::string>{b, c, a, "zz.txt", "dir", "aa.txt"}));

    SortEntriesFoldersFirst(list);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"dir", c, a, b, "aa.txt", "zz.txt"}));

    std::vector<sFILEENTRY> dirs = {Entry("/f/b", true), Entry("/f/a", true), Entry("/f/c", true)};
    SortEntriesFoldersFirst(dirs);
    EXPECT_EQ(Names(dirs), (std::vector<std::string>{"b", "a", "c"}));
}

// Checks that `less` is a strict weak order over `items`: irreflexive, asymmetric,
// transitive, and with transitive incomparability.
template <typename Less>
void ExpectStrictWeakOrder(const std::vector<sFILEENTRY>& items, Less less) {
    const std::size_t n = items.size();
    std::vector<char> lt(n * n);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) lt[i * n + j] = less(items[i], items[j]);
    const auto L = [&](std::size_t i, std::size_t j) { return lt[i * n + j] != 0; };
    const auto E = [&](std::size_t i, std::size_t j) { return !L(i, j) && !L(j, i); };
    int failures = 0;
    for (std::size_t i = 0; i < n && failures < 5; ++i) {
        if (L(i, i)) ++failures, ADD_FAILURE() << "reflexive: " << items[i].path;
        for (std::size_t j = 0; j < n; ++j) {
            if (L(i, j) && L(j, i))
                ++failures, ADD_FAILURE() << "symmetric: " << items[i].path << " " << items[j].path;
            for (std::size_t k = 0; k < n; ++k) {
                if (L(i, j) && L(j, k) && !L(i, k))
                    ++failures, ADD_FAILURE() << "intransitive: " << items[i].path << " < "
                                              << items[j].path << " < " << items[k].path;
                if (E(i, j) && E(j, k) && !E(i, k)) ++failures, ADD_FAILURE() << "incomparability";
            }
        }
    }
}

TEST(FileEntrySort, ComparatorsAreStrictWeakOrders) {
    std::mt19937 random(20240601);
    const std::vector<std::string> fixed = {
        "Video", "Parking", "Normal", "Q",      "Pz",
        "Pa",    "V",       "Videos", "Main",   "Sub_",
        "",      "_VData",  "video",  "Parkin", "\xC3\xA9t\xC3\xA9",
        "Z"};
    const std::string alphabet = "PVQaz_-019M.\xC3\xA9";
    std::vector<sFILEENTRY> items;
    for (const std::string& name : fixed) items.push_back(Entry("/r/" + name, true));
    while (items.size() < 150) {
        std::string name;
        if (random() % 3 == 0) {
            name = RecorderName("A___", "220101", "120000", int(random() % 40),
                                random() % 2 ? 'M' : 'S');
            name.resize(random() % (name.size() + 1));
        } else {
            const std::size_t length = random() % 24;
            for (std::size_t i = 0; i < length; ++i) name += alphabet[random() % alphabet.size()];
        }
        items.push_back(Entry("/r/" + name));
    }
    ExpectStrictWeakOrder(
        items, [](const sFILEENTRY& a, const sFILEENTRY& b) { return CompareEntryNames(a, b); });
    ExpectStrictWeakOrder(items, [](const sFILEENTRY& a, const sFILEENTRY& b) {
        return CompareEntryNames(a, b, true);
    });
    ExpectStrictWeakOrder(items, CompareEntrySerials);

    // The standard sort may rely on it; the media folders keep their order within it.
    std::shuffle(items.begin(), items.end(), random);
    std::sort(items.begin(), items.end(), [](const sFILEENTRY& a, const sFILEENTRY& b) {
        return CompareEntryNames(a, b, true);
    });
    const auto at = [&](const char* name) {
        return std::find_if(items.begin(), items.end(), [&](const sFILEENTRY& e) {
            return e.path == std::string("/r/") + name;
        });
    };
    EXPECT_LT(at("Normal"), at("Video"));
    EXPECT_LT(at("Video"), at("Parking"));
    EXPECT_LT(at("Parking"), at("Pz"));
}

}  // namespace
}  // namespace orv
