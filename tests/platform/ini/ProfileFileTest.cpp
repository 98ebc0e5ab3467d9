#include "platform/ini/ProfileFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <future>
#include <optional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures/OccupiedName.h"
#include "fixtures/TempDir.h"
#include "platform/base/PathUtil.h"

namespace orv {
namespace {

class ProfileFileTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.Path().empty());
        path_ = PathAppend(dir_.Path(), "Default_Folder.ini");
    }

    void WriteRaw(const std::string& bytes) const {
        std::ofstream(path_, std::ios::binary) << bytes;
    }
    static std::string ReadRaw(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        DIR* d = opendir(dir_.Path().c_str());
        while (dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
        return names;
    }
    std::string Read(const char* section, const char* key) const {
        std::string v;
        return ReadProfileString(path_, section, key, &v) ? v : "<absent>";
    }

    fixtures::TempDir dir_;
    std::string path_;
};

// UTF-16 LE bytes of a text, with the byte order mark.
std::string Utf16LeWithBom(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t c : text) {
        bytes += char(c & 0xFF);
        bytes += char(c >> 8);
    }
    return bytes;
}

TEST_F(ProfileFileTest, WriteKeepsCommentsOrderAndUnknownLines) {
    WriteRaw(
        "; settings\n"
        "top=level\n"
        "[DISPLAY]\n"
        "ASPECT = on\n"
        "UNKNOWN=1\n"
        "\n"
        "; about the next section\n"
        "[Other]\n"
        "x=y\n");
    ASSERT_TRUE(WriteProfileString(path_, "display", "aspect", "off"));
    ASSERT_TRUE(WriteProfileString(path_, "DISPLAY", "VOLUME", "65535"));
    ASSERT_TRUE(WriteProfileString(path_, "SOURCE", "SELECT", "SD"));
    EXPECT_EQ(ReadRaw(path_),
              "; settings\n"
              "top=level\n"
              "[DISPLAY]\n"
              "ASPECT = off\n"
              "UNKNOWN=1\n"
              "VOLUME=65535\n"
              "\n"
              "; about the next section\n"
              "[Other]\n"
              "x=y\n"
              "[SOURCE]\n"
              "SELECT=SD\n");
}

TEST_F(ProfileFileTest, ReadsNamesWithoutRegardToCaseAndTrimsValues) {
    WriteRaw(
        "k=outside any section\n"
        "[ Display ]\n"
        "  Aspect =  on  \n"
        "Quoted=\" spaced \"\n"
        "Single='x'\n"
        ";Commented=1\n"
        "Empty=\n"
        "[display]\n"
        "Aspect=second section is not read\n");
    EXPECT_EQ(Read("DISPLAY", "ASPECT"), "on");
    EXPECT_EQ(Read("display", "quoted"), " spaced ");
    EXPECT_EQ(Read("DISPLAY", "SINGLE"), "x");
    EXPECT_EQ(Read("DISPLAY", "EMPTY"), "");
    EXPECT_EQ(Read("DISPLAY", ";Commented"), "<absent>");
    EXPECT_EQ(Read("DISPLAY", "k"), "<absent>");
    EXPECT_EQ(Read("DISPLAY", "VOLUME"), "<absent>");
    EXPECT_EQ(Read("DECODE", "HW"), "<absent>");
    EXPECT_EQ(Read("", "k"), "<absent>");
}

TEST_F(ProfileFileTest, ValuesReadBackUnchanged) {
    const std::string longPath = "/media/user/" + std::string(600, 'a') + "/Normal";
    const char* values[] = {" lead", "trail ", "\"quoted\"", "'q'", "a=b;c", "録画フォルダ", ""};
    for (const char* v : values) {
        ASSERT_TRUE(WriteProfileString(path_, "FOLDERPATH", "CSV_FOLDER", v)) << v;
        EXPECT_EQ(Read("FOLDERPATH", "CSV_FOLDER"), v);
    }
    ASSERT_TRUE(WriteProfileString(path_, "SOURCE", "FOLDER", longPath));
    EXPECT_EQ(Read("SOURCE", "FOLDER"), longPath);
}

TEST_F(ProfileFileTest, RefusesWhatALineCannotHold) {
    WriteRaw("[SOURCE]\nFOLDER=/a\n");
    // A folder name may hold a line break on this system; written raw it would inject keys.
    EXPECT_FALSE(WriteProfileString(path_, "SOURCE", "FOLDER", "/x\n[DISPLAY]\nASPECT=off"));
    EXPECT_FALSE(WriteProfileString(path_, "SOURCE", "FOLDER", "/x\r"));
    EXPECT_FALSE(WriteProfileString(path_, "SO]URCE", "FOLDER", "/x"));
    EXPECT_FALSE(WriteProfileString(path_, "SOURCE", "FOL=DER", "/x"));
    EXPECT_FALSE(WriteProfileString(path_, "SOURCE", ";FOLDER", "/x"));
    EXPECT_FALSE(WriteProfileString(path_, "SOURCE", "", "/x"));
    EXPECT_FALSE(WriteProfileString(path_, "", "FOLDER", "/x"));
    EXPECT_FALSE(WriteProfileString(path_, "SOURCE", " FOLDER", "/x"));
    EXPECT_EQ(ReadRaw(path_), "[SOURCE]\nFOLDER=/a\n");
}

TEST_F(ProfileFileTest, MissingFileReadsAbsentAndIsCreatedByAWrite) {
    EXPECT_EQ(Read("DISPLAY", "INFOCHECK"), "<absent>");
    ASSERT_TRUE(WriteProfileString(path_, "DISPLAY", "INFOCHECK", "31"));
    EXPECT_EQ(ReadRaw(path_), "[DISPLAY]\nINFOCHECK=31\n");
    EXPECT_FALSE(WriteProfileString(PathAppend(dir_.Path(), "no/such/folder.ini"), "A", "B", "C"));
}

TEST_F(ProfileFileTest, AFileOfTheLongestNameIsWritten) {
    const std::string path = PathAppend(dir_.Path(), std::string(251, 'n') + ".ini");
    ASSERT_TRUE(WriteProfileString(path, "S", "k", "v"));
    EXPECT_EQ(ReadRaw(path), "[S]\nk=v\n");
}

TEST_F(ProfileFileTest, ReadsUtf16FilesOfWindowsToolsAndRewritesThemAsUtf8) {
    WriteRaw(Utf16LeWithBom(u"[SOURCE]\r\nFOLDER=E:\\録画\r\nSELECT=FOLDER\r\n"));
    EXPECT_EQ(Read("source", "folder"), "E:\\録画");
    EXPECT_EQ(Read("SOURCE", "SELECT"), "FOLDER");
    ASSERT_TRUE(WriteProfileString(path_, "SOURCE", "SELECT", "SD"));
    EXPECT_EQ(ReadRaw(path_), "[SOURCE]\r\nFOLDER=E:\\録画\r\nSELECT=SD\r\n");
}

TEST_F(ProfileFileTest, BadUtf16BecomesReplacementCharacters) {
    std::string bytes = Utf16LeWithBom(u"[A]\nK=");
    bytes += std::string("\x00\xD8", 2);  // a high surrogate with no partner
    bytes += "x\ny";                       // U+0A78, then one byte left over
    WriteRaw(bytes);
    EXPECT_EQ(Read("A", "K"), "\xEF\xBF\xBD\xE0\xA9\xB8");  // U+FFFD U+0A78
    WriteRaw(std::string("\xFF\xFE", 2));
    EXPECT_EQ(Read("A", "K"), "<absent>");
}

TEST_F(ProfileFileTest, KeepsAUtf8ByteOrderMark) {
    WriteRaw("\xEF\xBB\xBF[DISPLAY]\nASPECT=on\n");
    EXPECT_EQ(Read("DISPLAY", "ASPECT"), "on");
    ASSERT_TRUE(WriteProfileString(path_, "DISPLAY", "ASPECT", "off"));
    EXPECT_EQ(ReadRaw(path_), "\xEF\xBB\xBF[DISPLAY]\nASPECT=off\n");
}

// The group too, which gives the mode's middle digit its meaning (only root may give a file
// any group).
TEST_F(ProfileFileTest, KeepsTheModeAndTheGroup) {
    WriteRaw("[A]\nK=1\n");
    ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
    const gid_t group = geteuid() == 0 ? 4242 : getegid();
    ASSERT_EQ(chown(path_.c_str(), uid_t(-1), group), 0);
    ASSERT_TRUE(WriteProfileString(path_, "A", "K", "2"));
    struct stat st;
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(ReadRaw(path_), "[A]\nK=2\n");
}

// Runs `step` on a thread of its own. Should it wait on the FIFO at `fifo` (an open for
// reading waits for a writer), the test fails and a writer that comes and goes releases it.
template <class Step>
auto WithinBound(const std::string& fifo, Step step) {
    auto result = std::async(std::launch::async, step);
    if (result.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        ADD_FAILURE() << "waited on the FIFO";
        while (result.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready)
            close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
    }
    return result.get();
}

// A FIFO of the settings file's name is not opened, so it does not hold up the start, and
// not replaced.
TEST_F(ProfileFileTest, ASettingsFileThatIsNoRegularFileIsNeitherReadNorReplaced) {
    using fixtures::Occupant;
    const struct {
        Occupant occupant;
        bool used;
    } cases[] = {
        {Occupant::kFifo, false},
        // A second name of a regular file is that file: it is read, and replacing it leaves
        // the other name's content as it was.
        {Occupant::kHardLink, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fixtures::OccupantName(c.occupant));
        const fixtures::TempDir dir;
        const std::string path = PathAppend(dir.Path(), "Default_Folder.ini");
        fixtures::OccupiedName occupied(c.occupant, path, PathAppend(dir.Path(), "elsewhere"));
        ASSERT_TRUE(occupied.Ready());
        EXPECT_EQ(WithinBound(path, [&] { return ProfileFile().Load(path); }), c.used);
        EXPECT_EQ(WithinBound(path, [&] { return WriteProfileString(path, "DISPLAY", "ASPECT", "on"); }), c.used);
        EXPECT_EQ(occupied.Harm(), "");
        EXPECT_EQ(occupied.StillThere(), !c.used);
    }
}

// A settings file that is a symbolic link, the user's own choice of where it is kept, is
// read through the link and written by replacing the file at its end, beside that file;
// the link stays as it was. What is no regular file at the end of the links is refused.
TEST_F(ProfileFileTest, ASettingsFileThatIsALinkIsReadAndWrittenAtItsEnd) {
    enum class End { kFile, kNothing, kFifo, kFolder, kLoop };
    const struct {
        const char* name;
        End end;
        std::vector<std::string> links;  // from the settings file's name on; the last leads to the end
        bool used;
    } cases[] = {
        {"a link", End::kFile, {"{kept}/settings.ini"}, true},
        {"a relative link", End::kFile, {"kept/settings.ini"}, true},
        {"a link to a link", End::kFile, {"{dir}/middle.ini", "kept/settings.ini"}, true},
        {"a link to nothing yet", End::kNothing, {"{kept}/settings.ini"}, true},
        {"a link to a FIFO", End::kFifo, {"{kept}/settings.ini"}, false},
        {"a link to a folder", End::kFolder, {"{kept}/settings.ini"}, false},
        {"a loop of links", End::kLoop, {"{dir}/Default_Folder.ini"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fixtures::TempDir dir;
        const std::string kept = PathAppend(dir.Path(), "kept");
        ASSERT_EQ(mkdir(kept.c_str(), 0755), 0);
        const auto expand = [&](std::string text) {
            for (const auto& [name, value] : {std::pair<std::string, std::string>{"{kept}", kept}, {"{dir}", dir.Path()}})
                if (text.rfind(name, 0) == 0) text = value + text.substr(name.size());
            return text;
        };
        const std::string path = PathAppend(dir.Path(), "Default_Folder.ini");
        const std::string end = PathAppend(kept, "settings.ini");
        std::string at = path;
        for (const std::string& link : c.links) {
            const std::string target = expand(link);
            ASSERT_EQ(symlink(target.c_str(), at.c_str()), 0) << target;
            at = target.front() == '/' ? target : PathAppend(PathRemoveFileSpec(at), target);
        }
        if (c.end == End::kFile) std::ofstream(end, std::ios::binary) << "; mine\n[DISPLAY]\nASPECT=off\n";
        if (c.end == End::kFifo) {
            ASSERT_EQ(mkfifo(end.c_str(), 0644), 0);
        } else if (c.end == End::kFolder) {
            ASSERT_EQ(mkdir(end.c_str(), 0755), 0);
        }

        ProfileFile file;
        EXPECT_EQ(WithinBound(path, [&] { return file.Load(path); }), c.used);
        EXPECT_EQ(file.Get("DISPLAY", "ASPECT"), c.end == End::kFile ? std::optional<std::string>("off") : std::nullopt);
        EXPECT_EQ(WithinBound(path, [&] { return WriteProfileString(path, "DISPLAY", "VOLUME", "5"); }), c.used);
        struct stat st;
        ASSERT_EQ(lstat(path.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays";
        if (c.used) {
            EXPECT_EQ(ReadRaw(end), c.end == End::kFile ? "; mine\n[DISPLAY]\nASPECT=off\nVOLUME=5\n" : "[DISPLAY]\nVOLUME=5\n");
            std::string value;
            EXPECT_TRUE(ReadProfileString(path, "DISPLAY", "VOLUME", &value));
            EXPECT_EQ(value, "5");
        }
        // No temporary file is left in either folder.
        for (const std::string& folder : {dir.Path(), kept}) {
            DIR* d = opendir(folder.c_str());
            while (dirent* e = readdir(d)) EXPECT_EQ(std::string(e->d_name).find("tmp"), std::string::npos) << e->d_name;
            closedir(d);
        }
    }
}

// The settings file is replaced only when it is this user's and its mode lets its owner
// write it; a link in a sticky folder where anyone may write is followed only when it is
// the user's or the folder owner's, as the kernel follows links there. A file that may not
// be written is left as it was and the save reports failure; a new file is still made.
TEST_F(ProfileFileTest, OnlyTheUsersOwnWritableFileIsReplacedAndPlantedLinksAreNotFollowed) {
    constexpr uid_t kOther = 4242, kFolderOwner = 4243;
    const bool root = geteuid() == 0;
    const mode_t mask = umask(0);
    umask(mask);
    const mode_t created = 0666 & ~mask;
    enum class Name { kFile, kLink, kPlantedLink, kOwnLinkInSticky, kNothing };
    const struct {
        const char* what;
        Name name;              // what stands at the settings file's name
        bool endExists;         // whether the file at the end is there before the save
        mode_t mode;            // of that file
        bool othersFile;        // that file belongs to another user
        bool saved;             // the save reports success and the end holds the new text
        bool readable = true;   // the old value reads back through the name
    } cases[] = {
        {"own file 0644", Name::kFile, true, 0644, false, true},
        {"own file 0600", Name::kFile, true, 0600, false, true},
        {"own read-only file 0444", Name::kFile, true, 0444, false, false},
        {"another user's file", Name::kFile, true, 0644, true, false},
        {"a link to an own file", Name::kLink, true, 0640, false, true},
        {"a link to another user's file", Name::kLink, true, 0644, true, false},
        {"another user's link in a sticky shared folder", Name::kPlantedLink, true, 0644, false, false, false},
        {"another user's link to nothing in a sticky shared folder", Name::kPlantedLink, false, 0, false, false, false},
        {"an own link in a sticky shared folder", Name::kOwnLinkInSticky, true, 0644, false, true},
        {"a link to nothing", Name::kLink, false, 0, false, true},
        {"no file yet", Name::kNothing, false, 0, false, true},
    };
    const std::string before = "[DISPLAY]\nVOLUME=1\n", after = "[DISPLAY]\nVOLUME=5\n";
    for (const auto& c : cases) {
        // Only root can give a file or a link to another user.
        if (!root && (c.othersFile || c.name == Name::kPlantedLink)) continue;
        SCOPED_TRACE(c.what);
        const fixtures::TempDir dir;
        const std::string kept = PathAppend(dir.Path(), "kept"), shared = PathAppend(dir.Path(), "shared");
        ASSERT_EQ(mkdir(kept.c_str(), 0755), 0);
        ASSERT_EQ(mkdir(shared.c_str(), 0755), 0);
        ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
        if (root) {
            ASSERT_EQ(chown(shared.c_str(), kFolderOwner, kFolderOwner), 0);
        }
        const bool inShared = c.name == Name::kPlantedLink || c.name == Name::kOwnLinkInSticky;
        const std::string path = PathAppend(inShared ? shared : dir.Path(), "Default_Folder.ini");
        const bool linked = c.name != Name::kFile && c.name != Name::kNothing;
        const std::string end = linked ? PathAppend(kept, "settings.ini") : path;
        if (c.endExists) {
            std::ofstream(end, std::ios::binary) << before;
            ASSERT_EQ(chmod(end.c_str(), c.mode), 0);
            if (c.othersFile) {
                ASSERT_EQ(chown(end.c_str(), kOther, kOther), 0);
            }
        }
        if (linked) {
            ASSERT_EQ(symlink(end.c_str(), path.c_str()), 0);
            if (c.name == Name::kPlantedLink) {
                ASSERT_EQ(lchown(path.c_str(), kOther, kOther), 0);
            }
        }
        struct stat old {};
        if (c.endExists) {
            ASSERT_EQ(stat(end.c_str(), &old), 0);
        }

        std::string value;
        EXPECT_EQ(ReadProfileString(path, "DISPLAY", "VOLUME", &value), c.endExists && c.readable);
        EXPECT_EQ(WriteProfileString(path, "DISPLAY", "VOLUME", "5"), c.saved);

        struct stat st {};
        const bool endThere = stat(end.c_str(), &st) == 0;
        EXPECT_EQ(endThere, c.endExists || c.saved);
        if (endThere) {
            EXPECT_EQ(ReadRaw(end), c.saved ? after : before);
            EXPECT_EQ(st.st_uid, c.endExists ? old.st_uid : geteuid());
            EXPECT_EQ(st.st_mode & 07777, c.endExists ? old.st_mode & 07777 : created);
        }
        if (linked) {
            struct stat link;
            ASSERT_EQ(lstat(path.c_str(), &link), 0);
            EXPECT_TRUE(S_ISLNK(link.st_mode)) << "the link stays";
        }
    }
}

TEST_F(ProfileFileTest, AFileThatCannotBeReadIsLeftAlone) {
    const std::string big(ProfileFile::kMaxFileBytes + 1, ';');
    WriteRaw(big);
    EXPECT_FALSE(WriteProfileString(path_, "A", "K", "v"));
    EXPECT_EQ(ReadRaw(path_).size(), big.size());

    const std::string folder = PathAppend(dir_.Path(), "folder.ini");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    EXPECT_FALSE(WriteProfileString(folder, "A", "K", "v"));
    EXPECT_TRUE(PathIsDirectory(folder));
}

// A write that fails half-way (here: the file size limit of the process, as a full disk
// would) leaves the old file whole and no temporary file behind.
TEST_F(ProfileFileTest, FailedWriteLeavesTheOldFileIntact) {
    WriteRaw("[SOURCE]\nFOLDER=/old\n");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = WriteProfileString(path_, "SOURCE", "FOLDER", std::string(10000, 'x'));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadRaw(path_), "[SOURCE]\nFOLDER=/old\n");
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"Default_Folder.ini"});
}

TEST_F(ProfileFileTest, AConcurrentReaderSeesTheOldOrTheNewFile) {
    // A long file, so that a read that overlapped a write in place would catch a mix.
    std::string head = "[DISPLAY]\n";
    for (int i = 0; i < 2000; ++i) head += "PAD" + std::to_string(i) + "=" + std::string(40, 'p') + "\n";
    const std::string a(3000, 'a');
    const std::string b(5000, 'b');
    const std::string fileA = head + "VALUE=" + a + "\n; end\n";
    const std::string fileB = head + "VALUE=" + b + "\n; end\n";
    WriteRaw(fileA);

    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        while (!done.load()) {
            const std::string raw = ReadRaw(path_);
            if (raw != fileA && raw != fileB) ++bad;
            std::string v;
            if (!ReadProfileString(path_, "DISPLAY", "VALUE", &v) || (v != a && v != b)) ++bad;
            ++reads;
        }
    });
    bool allWritten = true;
    for (int i = 0; i < 300; ++i)
        allWritten &= WriteProfileString(path_, "DISPLAY", "VALUE", i % 2 ? a : b);
    // Let the reader see the last file too, however the threads were scheduled.
    while (reads.load() < 2) std::this_thread::yield();
    done = true;
    reader.join();
    EXPECT_TRUE(allWritten);
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(ReadRaw(path_), fileA);
    EXPECT_EQ(FolderEntries().size(), 1u);
}

TEST_F(ProfileFileTest, WritersOfOneProcessDoNotLoseEachOthersKeys) {
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i)
                WriteProfileString(path_, "S", "K" + std::to_string(t * 100 + i), "v");
        });
    for (std::thread& w : writers) w.join();
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(Read("S", ("K" + std::to_string(t * 100 + i)).c_str()), "v");
}

}  // namespace
}  // namespace orv
