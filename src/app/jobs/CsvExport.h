// The CSV list of the recordings of a source: one row per movie with its name, start date and
// time, length, trigger, picture size, quality, frame rate and size, for spreadsheet programs.
//
// The file is "Dv_YYYYMMDD_HHMMSS.csv" after the start time of the first recording, written in
// CP932 (the code page Japanese spreadsheet programs read by default) without a byte-order
// mark, with CR LF after every line; fields are separated by commas, without quotes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/jobs/JobFrame.h"
#include "platform/base/ReplacementFile.h"
#include "recorder/FileEntry.h"

namespace orv {

// "Dv_%Y%m%d_%H%M%S.csv" of the recording time in the name of `firstEntryPath`.
std::string CsvFileName(const std::string& firstEntryPath);

// The export's file in `folder`: the name above, in it.
std::string CsvFilePath(const std::string& firstEntryPath, const std::string& folder);

// The header line (UTF-8): the nine column names separated by commas, then CR LF.
std::string CsvHeaderLine();

// What a row shows of one movie, as read from its files.
struct CsvRowValues {
    std::string path;
    std::int64_t frames = 0;
    float frameRate = 0;
    int height = 0;
    char quality = 0;  // byte A of the recorder data header
    std::uint64_t fileSize = 0;
};

// The row of a movie (UTF-8, with CR LF).
std::string FormatCsvFields(const CsvRowValues& values);

// The row of a movie whose files cannot be read: "name,-,-,-,-,-,-,fps,0MB".
std::string UnreadableCsvRow(const std::string& path);

// The row of one entry, reading its movie's boxes and its data file's header. With
// `channelReady` false (channel 0 not initialised), or when either cannot be read, the
// movie has no picture, or no frame rate, it is the unreadable row. Never empty.
std::string FormatCsvRow(const sFILEENTRY& entry, bool channelReady);

// The UTF-8 text in CP932; a character that CP932 cannot hold (or a broken UTF-8 sequence)
// becomes "?".
std::string ToCp932(std::string_view utf8);

// The job's thread: writes the header and one row per entry to a temporary file beside
// `path`, testing the job's flag before each row and posting WM_APP_PROGRESS (i, n) after
// row i and (n, n) at the end; puts the file in place as `overwrite` allows; then stores
// `folder` under FOLDERPATH / CSV_FOLDER and reports. A job stopped by its flag places the
// rows written so far, without report. A file that cannot be written or placed ends the
// job with text 93, any older file of that name left as it was.
unsigned CsvExportJob(JobState& job, const std::vector<sFILEENTRY>& entries, const std::string& path,
                      const std::string& folder, bool channelReady, Overwrite overwrite);

}  // namespace orv
