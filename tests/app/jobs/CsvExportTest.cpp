// The CSV list: its name, its rows from the values of a movie, CP932 bytes, and a whole export
// of real movies.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/jobs/CsvExport.h"
#include "fixtures/CardBuilder.h"
#include "fixtures/MovieMaker.h"
#include "fixtures/OccupiedName.h"
#include "recorder/FolderScan.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

const char kHeaderCp932[] =
    "\x83t\x83@\x83" "C\x83\x8b\x96\xbc,\x93\xfa\x95t,\x8aJ\x8en\x8e\x9e\x8d\x8f,\x98^\x89\xe6\x8e\x9e"
    "\x8a\xd4,\x98^\x89\xe6\x83g\x83\x8a\x83K\x81[,\x98^\x89\xe6\x83T\x83" "C\x83Y,\x89\xe6\x8e\xbf,"
    "\x83t\x83\x8c\x81[\x83\x80\x83\x8c\x81[\x83g,\x83" "f\x81[\x83^\x83T\x83" "C\x83Y\r\n";

TEST(CsvExport, FileIsNamedAfterTheFirstRecordingsTime) {
    EXPECT_EQ(CsvFileName("/card/Normal/A___-210305-140709-000001M.MOV"), "Dv_20210305_140709.csv");
    EXPECT_EQ(CsvFilePath("/x/A___-210305-140709-000001M.MOV", "/out"), "/out/Dv_20210305_140709.csv");
}

TEST(CsvExport, RowsShowTheMoviesValues) {
    const std::string name = "A___-210305-140709-000001M.MOV";
    const struct {
        CsvRowValues values;
        std::string row;
    } cases[] = {
        {{name, 1800, 30.0f, 1080, 'H', 1048576},
         name + ",2021/03/05,14:07:09,00:01:00,常時,FHD,高画質,30.0fps,1MB\r\n"},
        {{name, 1800, 30.0f, 360, 'M', 1048575}, name + ",2021/03/05,14:07:09,00:01:00,常時,SD,-,30.0fps,0MB\r\n"},
        {{name, 108001, 30.0f, 720, 'L', 0}, name + ",2021/03/05,14:07:09,01:00:00,常時,HD,低画質,30.0fps,0MB\r\n"},
        {{name, 1, 30.0f, 1296, 'H', 0}, name + ",2021/03/05,14:07:09,00:00:00,常時,3M,高画質,30.0fps,0MB\r\n"},
        {{name, 1, 30.0f, 1440, 'H', 0}, name + ",2021/03/05,14:07:09,00:00:00,常時,WQHD,高画質,30.0fps,0MB\r\n"},
        // A height without a name leaves the field empty.
        {{name, 1, 27.5f, 960, 'H', 0}, name + ",2021/03/05,14:07:09,00:00:00,常時,,高画質,27.5fps,0MB\r\n"},
        // Time-lapse: every frame stands for 15; 1800 frames at 30 fps are 15 minutes.
        {{"T___-210305-140709-000002M.MOV", 1800, 30.0f, 1080, 'H', 0},
         "T___-210305-140709-000002M.MOV,2021/03/05,14:07:09,00:15:00,常時タイムラプス,FHD,高画質,タイムラプス,0MB\r\n"},
        {{"/a/odd.MOV", 30, 30.0f, 1080, 'H', 5 << 20}, "odd.MOV,--/--/--,--:--:--,00:00:01,,FHD,高画質,30.0fps,5MB\r\n"},
        // No usable frame rate: the row of an unreadable file.
        {{name, 1800, 0.0f, 1080, 'H', 0}, name + ",-,-,-,-,-,-,fps,0MB\r\n"},
        {{name, 1800, -1.0f, 1080, 'H', 0}, name + ",-,-,-,-,-,-,fps,0MB\r\n"},
        {{name, 1800, 5e-20f, 1080, 'H', 0}, name + ",-,-,-,-,-,-,fps,0MB\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        EXPECT_EQ(FormatCsvFields(c.values), c.row);
    }
}

TEST(CsvExport, TextIsWrittenInCp932) {
    EXPECT_EQ(ToCp932(CsvHeaderLine()), kHeaderCp932);
    // Characters CP932 lacks, and broken UTF-8, become "?" and the rest of the row stays.
    EXPECT_EQ(ToCp932("a€b\xff" "c高画質～"), "a?b?c\x8d\x82\x89\xe6\x8e\xbf\x81\x60");
}

// The list is put in place whole when it is done; an older list is replaced only with the
// user's leave, and nothing that is not a regular file is replaced, even when it appeared
// after the question.
TEST(CsvExport, TheListReplacesOnlyWhatTheUserAgreedTo) {
    const struct {
        const char* name;
        const char* before;  // nullptr: nothing of that name
        Overwrite overwrite;
        bool placed;
    } cases[] = {
        {"new", nullptr, Overwrite::kNever, true},
        {"confirmed", "an older list", Overwrite::kRegularFile, true},
        {"appeared meanwhile", "an older list", Overwrite::kNever, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fixtures::TempDir dir;
        const std::string path = dir.Path() + "/Dv_20210305_140709.csv";
        if (c.before) std::ofstream(path) << c.before;
        JobState job;
        job.running = true;
        CsvExportJob(job, {}, path, dir.Path(), true, c.overwrite);
        EXPECT_EQ(job.errorText, c.placed ? 0 : 93);
        std::ifstream in(path, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.placed ? kHeaderCp932 : c.before);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 1);
    }
    // A link made after the question is not written through.
    fixtures::TempDir dir;
    const std::string path = dir.Path() + "/Dv_20210305_140709.csv";
    fixtures::OccupiedName link(fixtures::Occupant::kSymlink, path, dir.Path() + "/A___-210305-140709-000001M.MOV");
    ASSERT_TRUE(link.Ready());
    JobState job;
    job.running = true;
    CsvExportJob(job, {}, path, dir.Path(), true, Overwrite::kRegularFile);
    EXPECT_EQ(job.errorText, 93);
    EXPECT_EQ(link.Harm(), "");
    EXPECT_TRUE(link.StillThere());
}

TEST(CsvExport, ExportWritesTheHeaderAndARowPerMovie) {
    if (!fixtures::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    fixtures::TempDir dir;
    fixtures::CardBuilder card(dir.Path() + "/in");
    fixtures::MovieSpec params;
    params.width = 640;
    params.height = 360;
    params.seconds = 1.0;
    params.frameNumber = false;
    params.audio = false;
    const std::string made = dir.Path() + "/made.mp4";
    ASSERT_TRUE(fixtures::MakeMovie(params, made, nullptr));
    std::vector<sFILEENTRY> entries;
    for (int i = 1; i <= 2; ++i) {
        fixtures::RecordingSpec rec;
        rec.layout = -1;
        rec.serial = i;
        rec.movieFile = made;
        if (i == 1) rec.data = fixtures::DataBlock{};  // the second has no data file
        AddMovieEntry(card.AddRecording(rec), entries);
    }
    const std::string path = CsvFilePath(entries[0].path, dir.Path());
    JobState job;
    job.running = true;
    ASSERT_EQ(CsvExportJob(job, entries, path, dir.Path(), true, Overwrite::kNever), unsigned(WM_APP_JOB_DONE));
    EXPECT_EQ(job.result, 1);
    EXPECT_TRUE(job.report);

    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string name1 = fs::path(entries[0].path).filename().string();
    const std::string name2 = fs::path(entries[1].path).filename().string();
    EXPECT_EQ(text.str(), kHeaderCp932 + ToCp932(name1 + ",2022/01/01,12:00:00,00:00:01,常時,SD,低画質,30.0fps,0MB\r\n") +
                              name2 + ",-,-,-,-,-,-,fps,0MB\r\n");
    // Channel 0 not initialised: every row is the unreadable one.
    EXPECT_EQ(FormatCsvRow(entries[0], false), name1 + ",-,-,-,-,-,-,fps,0MB\r\n");
}

}  // namespace
}  // namespace orv
