// The recorder's movie names and what they tell.
//
// A recorder movie name has 30 characters, e.g. AG_S-220101-120000-000001M.MOV:
//   0      trigger: A continuous-type, P parking monitoring, T time-lapse, _ none
//   1      G impact, M manual, _ none
//   2      alert: O speed camera, R radar, T time-lapse, _ none
//   3      S starts a new group of the folder tree, _ otherwise
//   5-10   date YYMMDD (year 2000 + YY)
//   12-17  time HHMMSS, the recorder's wall-clock time
//   19-24  serial number
//   25     camera: M front, S rear
//   26-29  .MOV
// Every function reads only the file name of the path it is given (everything behind the
// last '/'); positions count characters (code points), not bytes.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/WinTypes.h"
#include "recorder/FileEntry.h"

namespace orv {

// Also the index of the file browser's seven filter toggles.
enum RecordingKind : int {
    REC_UNKNOWN = -1,
    REC_CONTINUOUS = 0,
    REC_IMPACT = 1,
    REC_MANUAL = 2,
    REC_PARKING = 3,
    REC_PARKING_IMPACT = 4,
    REC_SPEED_CAMERA = 5,
    REC_RADAR = 6,
};

constexpr int kRecordingKindCount = 7;

enum RecordingFlags : unsigned {
    REC_FLAG_CONTINUOUS = 1,
    REC_FLAG_MANUAL = 2,
    REC_FLAG_IMPACT = 4,
    REC_FLAG_PARKING = 8,
    REC_FLAG_PARKING_IMPACT = 16,
    REC_FLAG_SPEED_CAMERA = 32,
    REC_FLAG_RADAR = 64,
};

// Codes of the alert letter (third letter) given by GetAlertLetterKind.
enum AlertLetterCode : int {
    ALERT_OTHER = 0,
    ALERT_NONE = 1,          // '_'
    ALERT_SPEED_CAMERA = 2,  // 'O'
    ALERT_RADAR = 3,         // 'R'
    ALERT_TIME_LAPSE = 8,    // 'T'
};

// Recorder movie of either camera / of the front camera. A name that is not valid UTF-8
// never matches.
bool IsRecorderMovieName(std::string_view path);
bool IsMainCameraMovieName(std::string_view path);

int GetAlertLetterKind(std::string_view name);
RecordingKind GetRecordingKind(std::string_view path);

// ORs the name's REC_FLAG_* bits into `flags`; returns 1.
int GetRecordingFlags(std::string_view path, unsigned& flags);

// The characters of the file name from index `start` up to (not including) the first
// `separator` at or behind it, or to the end; at most 259 characters.
std::string SplitNameField(std::string_view path, int start, char separator);

// The wall-clock time of a name's date and time fields, the same on every machine.
// Fields that are not six digits give 1970-01-01 00:00:00.
SYSTEMTIME RecorderFileTime(std::string_view yymmdd, std::string_view hhmmss);
SYSTEMTIME RecordingTimeFromName(std::string_view path);

// Labels of the CSV list.
std::string AppendAlertLabel(std::string_view prefix, std::string_view path);
std::string MakeRecordingKindLabel(std::string_view path);

// Appends to `out` the entries that the seven toggles (indexed by RecordingKind) admit;
// returns the number of input entries.
int FilterEntriesByKind(const std::vector<sFILEENTRY>& entries, std::vector<sFILEENTRY>& out,
                        const bool filterFlags[kRecordingKindCount]);

// The text of a file-list row: AG_S-120000-000001 for the name above.
std::string MakeListDisplayName(std::string_view path);

// The folder tree's group name of a movie, called once per movie in list order with the
// previous movie's path ("" for the first). A group holds at most 200 consecutive movies;
// groups are named by the date and a number counted per date: 220101_0001.
void MakeUniqueName(std::string& groupName, std::string_view path, SYSTEMTIME& startTime,
                    int& counter, std::map<std::string, int>& perDateCounters,
                    std::string_view previousPath);

// Base name of a snapshot: 220101-120000-M for the name above; "" for a name too short.
std::string MakeSnapshotStem(std::string_view path);

}  // namespace orv
