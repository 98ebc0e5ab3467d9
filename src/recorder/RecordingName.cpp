#include "recorder/RecordingName.h"

#include <cstdio>
#include <regex>

#include "platform/base/CalendarTime.h"
#include "platform/base/PathUtil.h"
#include "ui/text/UiText.h"

namespace orv {

namespace {

// Text numbers of the kind labels.
constexpr int kTextContinuous = 160;
constexpr int kTextSpeedCamera = 161;
constexpr int kTextRadar = 162;
constexpr int kTextManual = 163;
constexpr int kTextImpact = 164;
constexpr int kTextTimeLapse = 165;
constexpr int kTextParking = 166;
constexpr int kTextParkingImpact = 167;
constexpr int kTextParkingTimeLapse = 168;

constexpr std::size_t kRecorderNameLength = 30;
constexpr std::size_t kSerialIndex = 19;
constexpr std::size_t kSerialDigits = 6;
constexpr int kDateIndex = 5;
constexpr int kTimeIndex = 12;
// Field buffers of the recorder tools hold MAX_PATH characters with the terminator.
constexpr std::size_t kMaxFieldLength = MAX_PATH - 1;
constexpr int kFilesPerGroup = 200;

// The character at `index` of the name when it is a single byte, else 0 (so a non-ASCII
// character never equals a letter of the scheme).
char NameLetter(std::string_view name, std::size_t index) {
    const std::string_view c = Utf8Substr(name, index, 1);
    return c.size() == 1 ? c[0] : '\0';
}

bool IsContinuousType(char first) { return first == 'A' || first == 'T'; }

const std::regex& AnyCameraPattern() {
    static const std::regex re(
        "[APT_]{1,1}[GM_]{1,1}[ORT_]{1,1}[S_]{1,1}-[0-9]{6,6}-[0-9]{6,6}-[0-9]{6,6}[SM]{1,1}.MOV",
        std::regex::ECMAScript);
    return re;
}

const std::regex& MainCameraPattern() {
    static const std::regex re(
        "[APT_]{1,1}[GM_]{1,1}[ORT_]{1,1}[S_]{1,1}-[0-9]{6,6}-[0-9]{6,6}-[0-9]{6,6}[M]{1,1}.MOV",
        std::regex::ECMAScript);
    return re;
}

bool MatchesRecorderPattern(std::string_view path, const std::regex& pattern) {
    const std::string_view name = PathFindFileName(path);
    if (Utf8Length(name) >= 5 && NameLetter(name, 4) != '-') return false;
    if (!IsValidUtf8(name)) return false;
    if (!std::regex_search(name.begin(), name.end(), pattern)) return false;
    return GetRecordingKind(path) != REC_UNKNOWN;
}

// Three two-digit numbers from exactly six ASCII digits.
bool ParseSixDigits(std::string_view s, int out[3]) {
    if (s.size() != 6) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    for (int i = 0; i < 3; ++i) out[i] = (s[2 * i] - '0') * 10 + (s[2 * i + 1] - '0');
    return true;
}

// The serial number: the leading digits of characters 19-24 of the name, 0 without any.
int NameSerial(std::string_view path) {
    const std::string_view digits = Utf8Substr(PathFindFileName(path), kSerialIndex, kSerialDigits);
    int serial = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') break;
        serial = serial * 10 + (c - '0');
    }
    return serial;
}

// The filter verdict of one name. Each step that applies to the name overrides the
// verdicts before it, and a step whose toggle is on settles them, so the latest applicable
// toggle decides: an impact file follows the impact toggle alone, a speed-camera file the
// speed-camera toggle alone.
bool IsAdmittedByFilter(std::string_view name, const bool flags[kRecordingKindCount]) {
    const char first = NameLetter(name, 0);
    const char second = NameLetter(name, 1);
    const bool continuousType = IsContinuousType(first);
    const int alert = GetAlertLetterKind(name);

    bool take = continuousType && flags[REC_CONTINUOUS];
    if (second == 'G' && continuousType) {
        take = flags[REC_IMPACT];
        if (take) return true;
    }
    if (second == 'M') {
        take = flags[REC_MANUAL];
        if (take) return true;
    }
    bool takeParking = flags[REC_PARKING] && (alert == ALERT_TIME_LAPSE || first == 'P');
    if (first == 'P' && second == 'G') {
        takeParking = flags[REC_PARKING_IMPACT];
        if (takeParking) return true;
    }
    if (alert == ALERT_SPEED_CAMERA) {
        take = flags[REC_SPEED_CAMERA];
        if (take) return true;
        takeParking = false;
    }
    if (alert == ALERT_RADAR) {
        take = flags[REC_RADAR];
        if (take) return true;
        takeParking = false;
    }
    return take || takeParking;
}

}  // namespace

bool IsRecorderMovieName(std::string_view path) {
    return MatchesRecorderPattern(path, AnyCameraPattern());
}

bool IsMainCameraMovieName(std::string_view path) {
    return MatchesRecorderPattern(path, MainCameraPattern());
}

int GetAlertLetterKind(std::string_view name) {
    switch (NameLetter(PathFindFileName(name), 2)) {
        case '_': return ALERT_NONE;
        case 'O': return ALERT_SPEED_CAMERA;
        case 'R': return ALERT_RADAR;
        case 'T': return ALERT_TIME_LAPSE;
        default: return ALERT_OTHER;
    }
}

RecordingKind GetRecordingKind(std::string_view path) {
    const std::string_view name = PathFindFileName(path);
    const char first = NameLetter(name, 0);
    const char second = NameLetter(name, 1);
    if (IsContinuousType(first)) {
        if (second == 'G') return REC_IMPACT;
        if (second == 'M') return REC_MANUAL;
        return REC_CONTINUOUS;
    }
    if (first == 'P') return second == 'G' ? REC_PARKING_IMPACT : REC_PARKING;
    switch (GetAlertLetterKind(name)) {
        case ALERT_SPEED_CAMERA: return REC_SPEED_CAMERA;
        case ALERT_RADAR: return REC_RADAR;
        case ALERT_TIME_LAPSE: return REC_PARKING;
        default: return REC_UNKNOWN;
    }
}

int GetRecordingFlags(std::string_view path, unsigned& flags) {
    const std::string_view name = PathFindFileName(path);
    const char first = NameLetter(name, 0);
    const char second = NameLetter(name, 1);
    const bool parking = first == 'P';
    if (IsContinuousType(first)) flags |= REC_FLAG_CONTINUOUS;
    if (second == 'M') flags |= REC_FLAG_MANUAL;
    if (second == 'G') flags |= parking ? REC_FLAG_PARKING_IMPACT : REC_FLAG_IMPACT;
    if (parking && second != 'G') flags |= REC_FLAG_PARKING;
    switch (GetAlertLetterKind(name)) {
        case ALERT_SPEED_CAMERA: flags |= REC_FLAG_SPEED_CAMERA; break;
        case ALERT_RADAR: flags |= REC_FLAG_RADAR; break;
        case ALERT_TIME_LAPSE: flags |= REC_FLAG_CONTINUOUS; break;
        default: break;
    }
    return 1;
}

std::string SplitNameField(std::string_view path, int start, char separator) {
    if (start < 0) return std::string();
    const std::string_view rest = Utf8Substr(PathFindFileName(path), std::size_t(start));
    // An ASCII separator byte is always a character of its own, even in UTF-8.
    const std::string_view field = rest.substr(0, rest.find(separator));
    return std::string(Utf8Substr(field, 0, kMaxFieldLength));
}

SYSTEMTIME RecorderFileTime(std::string_view yymmdd, std::string_view hhmmss) {
    int date[3];
    int time[3];
    std::int64_t seconds = 0;
    if (ParseSixDigits(yymmdd, date) && ParseSixDigits(hhmmss, time)) {
        CalendarFields f;
        f.tm_year = date[0] + 100;
        f.tm_mon = date[1] - 1;
        f.tm_mday = date[2];
        f.tm_hour = time[0];
        f.tm_min = time[1];
        f.tm_sec = time[2];
        seconds = MakeWallClockSeconds(f);
    }
    // Two-digit years keep every result inside SYSTEMTIME's range; the fallback is the epoch.
    return SecondsToSystemTime(seconds).value_or(*SecondsToSystemTime(0));
}

SYSTEMTIME RecordingTimeFromName(std::string_view path) {
    return RecorderFileTime(SplitNameField(path, kDateIndex, '-'),
                            SplitNameField(path, kTimeIndex, '-'));
}

std::string AppendAlertLabel(std::string_view prefix, std::string_view path) {
    switch (GetAlertLetterKind(path)) {
        case ALERT_SPEED_CAMERA: return LangString(prefix, kTextSpeedCamera);
        case ALERT_RADAR: return LangString(prefix, kTextRadar);
        default: return std::string(prefix);
    }
}

std::string MakeRecordingKindLabel(std::string_view path) {
    const std::string_view name = PathFindFileName(path);
    if (Utf8Length(name) < kRecorderNameLength) return std::string();
    const char first = NameLetter(name, 0);
    const char second = NameLetter(name, 1);
    const char third = NameLetter(name, 2);
    switch (first) {
        case 'A':
            if (second == 'G') return AppendAlertLabel(UiText(kTextImpact), path);
            if (second == 'M') return AppendAlertLabel(UiText(kTextManual), path);
            if (second != '_') return std::string();
            switch (third) {
                case '_': return UiText(kTextContinuous);
                case 'O': return UiText(kTextSpeedCamera);
                case 'R': return UiText(kTextRadar);
                case 'T': return UiText(kTextParkingTimeLapse);
                default: return std::string();
            }
        case 'P':
            if (second == 'G' && third == '_') return UiText(kTextParkingImpact);
            if (second == '_' && third == '_') return UiText(kTextParking);
            if (second == 'G' && third == 'T')
                return LangString(UiText(kTextParkingTimeLapse), kTextImpact);
            if (second == '_' && third == 'T') return UiText(kTextParkingTimeLapse);
            return std::string();
        case 'T':
            if (second == 'G')
                return AppendAlertLabel(LangString(UiText(kTextTimeLapse), kTextImpact), path);
            if (second == 'M')
                return AppendAlertLabel(LangString(UiText(kTextTimeLapse), kTextManual), path);
            if (second == '_') return AppendAlertLabel(UiText(kTextTimeLapse), path);
            return std::string();
        default:
            return std::string();
    }
}

int FilterEntriesByKind(const std::vector<sFILEENTRY>& entries, std::vector<sFILEENTRY>& out,
                        const bool filterFlags[kRecordingKindCount]) {
    for (const sFILEENTRY& entry : entries)
        if (IsAdmittedByFilter(PathFindFileName(entry.path), filterFlags)) out.push_back(entry);
    return int(entries.size());
}

std::string MakeListDisplayName(std::string_view path) {
    const std::string_view name = PathFindFileName(path);
    if (IsRecorderMovieName(path)) {
        const char camera = IsMainCameraMovieName(path) ? 'M' : 'S';
        std::string text(Utf8Substr(name, 0, 4));
        text += '-';
        text += SplitNameField(path, kTimeIndex, camera);
        return text;
    }
    return std::string(name.substr(0, name.find('.')));
}

void MakeUniqueName(std::string& groupName, std::string_view path, SYSTEMTIME& startTime,
                    int& counter, std::map<std::string, int>& perDateCounters,
                    std::string_view previousPath) {
    startTime = RecordingTimeFromName(path);
    const bool continuesGroup = !previousPath.empty() && counter + 1 < kFilesPerGroup &&
                                NameLetter(PathFindFileName(path), 3) != 'S' &&
                                NameSerial(path) == NameSerial(previousPath) + 1;
    if (continuesGroup) {
        ++counter;
        return;
    }
    counter = 0;
    const std::string date = SplitNameField(path, kDateIndex, '-');
    const int number = ++perDateCounters[date];
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%04d", number);
    groupName = date + suffix;
}

std::string MakeSnapshotStem(std::string_view path) {
    constexpr std::size_t kDroppedLetters = 5;  // trigger letters and their separator
    constexpr std::size_t kKeptLength = 14;     // date, '-', time, '-'
    const std::string_view name = PathFindFileName(path);
    const std::size_t dot = name.find('.');
    if (dot == std::string_view::npos) return std::string();
    const std::string_view rest = Utf8Substr(name.substr(0, dot), kDroppedLetters);
    const std::size_t length = Utf8Length(rest);
    if (length <= kKeptLength) return std::string();
    std::string stem(Utf8Substr(rest, 0, kKeptLength));
    stem += Utf8Substr(rest, length - 1);
    return stem;
}

}  // namespace orv
