#include "app/jobs/CsvExport.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/base/PathUtil.h"
#include "playback/ChannelData.h"
#include "recorder/Mp4Box.h"
#include "recorder/Mp4MovieInfo.h"
#include "recorder/RecorderDataBlock.h"
#include "recorder/RecordingName.h"
#include "ui/CommonUtil.h"
#include "ui/SkinDialog.h"
#include "ui/text/UiText.h"

namespace orv {

namespace {

// The header's column names; each but the last carries its comma.
constexpr int kHeaderTexts[] = {30, 29, 37, 36, 38, 35, 34, 32, 28};
constexpr int kTextHighQuality = 55;
constexpr int kTextLowQuality = 56;
constexpr int kTextTimeLapse = 159;
constexpr int kTextCsvFailed = 93;
constexpr int kTextNoMovies = 99;
constexpr int kTextChooseOutputFolder = 101;
constexpr const char* kKey = "CSV_FOLDER";

// A frame of a time-lapse movie stands for 15 frames of recording time.
constexpr float kTimeLapseFactor = 15.0f;
// Seconds beyond which a recording's length is no length at all (some 30,000 years).
constexpr float kLongestLength = 1e12f;

// The name's date and time fields: the characters from `start` up to the next '-', six digits.
bool SixDigitField(const std::string& path, int start) {
    const std::string field = SplitNameField(path, start, '-');
    return field.size() == 6 && std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool NameHasTime(const std::string& path) { return SixDigitField(path, 5) && SixDigitField(path, 12); }

std::string Format(const char* format, auto... args) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

const char* PictureSizeName(int height) {
    switch (height) {
        case 360: return "SD";
        case 720: return "HD";
        case 1080: return "FHD";
        case 1296: return "3M";
        case 1440: return "WQHD";
        default: return "";
    }
}

bool WriteText(ReplacementFile& file, std::string_view utf8) {
    const std::string bytes = ToCp932(utf8);
    return file.Write(bytes.data(), bytes.size());
}

}  // namespace

std::string CsvFileName(const std::string& firstEntryPath) {
    const SYSTEMTIME t = RecordingTimeFromName(firstEntryPath);
    return Format("Dv_%04u%02u%02u_%02u%02u%02u.csv", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
}

std::string CsvFilePath(const std::string& firstEntryPath, const std::string& folder) {
    return PathAppend(folder, CsvFileName(firstEntryPath));
}

std::string CsvHeaderLine() {
    std::string line;
    for (int id : kHeaderTexts)
        line += UiText(id);
    return line + "\r\n";
}

std::string UnreadableCsvRow(const std::string& path) {
    return std::string(PathFindFileName(path)) + ",-,-,-,-,-,-,fps,0MB\r\n";
}

std::string FormatCsvFields(const CsvRowValues& v) {
    // A movie header without a usable duration gives no frame rate, and so no length.
    if (!(v.frameRate > 0)) return UnreadableCsvRow(v.path);
    const std::string name(PathFindFileName(v.path));
    const bool timeLapse = IsTimeLapseDataName(name);
    std::uint64_t frames = std::uint64_t(std::max<std::int64_t>(v.frames, 0));
    if (timeLapse) frames = std::uint64_t(float(frames) * kTimeLapseFactor);
    const float length = float(frames) / v.frameRate;
    // A broken movie header can make the rate tiny and the length too long for any counter.
    if (!(length < kLongestLength)) return UnreadableCsvRow(v.path);
    const auto seconds = std::uint64_t(length);

    std::string date = "--/--/--", time = "--:--:--";
    if (NameHasTime(v.path)) {
        const SYSTEMTIME t = RecordingTimeFromName(v.path);
        date = Format("%04u/%02u/%02u", t.wYear, t.wMonth, t.wDay);
        time = Format("%02u:%02u:%02u", t.wHour, t.wMinute, t.wSecond);
    }
    const std::string quality = v.quality == 'H' ? UiText(kTextHighQuality)
                                : v.quality == 'M' ? "-"
                                                   : UiText(kTextLowQuality);
    const std::string rate = timeLapse ? UiText(kTextTimeLapse) : Format("%.1ffps", double(v.frameRate));
    return name + "," + date + "," + time + "," +
           Format("%02llu:%02llu:%02llu", (unsigned long long)(seconds / 3600),
                  (unsigned long long)(seconds / 60 % 60), (unsigned long long)(seconds % 60)) +
           "," + MakeRecordingKindLabel(v.path) + "," + PictureSizeName(v.height) + "," + quality + "," +
           rate + "," + std::to_string(v.fileSize >> 20) + "MB\r\n";
}

std::string FormatCsvRow(const sFILEENTRY& entry, bool channelReady) {
    RecorderHeader header;
    if (!channelReady || !ReadRecorderHeader(&header, entry.path)) return UnreadableCsvRow(entry.path);
    const auto movie = OpenMovieBoxes(entry.path, true, false, 0);
    if (!movie) return UnreadableCsvRow(entry.path);
    const SIZE size = GetVideoSize(*movie);
    if (size.cx <= 0) return UnreadableCsvRow(entry.path);

    CsvRowValues values;
    values.path = entry.path;
    values.frames = GetFrameCount(*movie);
    values.frameRate = GetFrameRate(*movie);
    values.height = size.cy;
    values.quality = char(header.byteA);
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(entry.path, ec);
    values.fileSize = ec ? 0 : bytes;
    return FormatCsvFields(values);
}

std::string ToCp932(std::string_view utf8) {
    struct Converter {
        iconv_t cd = iconv_open("CP932", "UTF-8");
        ~Converter() {
            if (cd != iconv_t(-1)) iconv_close(cd);
        }
    } converter;
    const iconv_t cd = converter.cd;
    if (cd == iconv_t(-1)) return std::string(utf8);
    std::string out(utf8.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* to = out.data();
    std::size_t toLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &to, &toLeft) != std::size_t(-1)) break;
        if (errno == E2BIG) break;  // cannot happen: CP932 needs at most two bytes a character
        // EILSEQ or EINVAL: the character is replaced and skipped whole.
        std::size_t skip = 1;
        while (skip < inLeft && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80)
            ++skip;
        in += skip;
        inLeft -= skip;
        *to++ = '?';
        --toLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(out.size() - toLeft);
    return out;
}

unsigned CsvExportJob(JobState& job, const std::vector<sFILEENTRY>& entries, const std::string& path,
                      const std::string& folder, bool channelReady, Overwrite overwrite) {
    ReplacementFile file(path);
    if (!file.IsOpen() || !WriteText(file, CsvHeaderLine())) {
        job.errorText = kTextCsvFailed;
        return WM_APP_JOB_DONE;
    }
    job.result = 1;
    const std::size_t n = entries.size();
    std::size_t written = 0;
    for (; written < n && job.Running(); ++written) {
        if (!WriteText(file, FormatCsvRow(entries[written], channelReady))) {
            job.errorText = kTextCsvFailed;
            return WM_APP_JOB_DONE;
        }
        job.Post(WM_APP_PROGRESS, written, LPARAM(n));
    }
    // A list cut short by the program's end still holds the rows written so far.
    if (!file.Commit(overwrite)) {
        job.errorText = kTextCsvFailed;
        return WM_APP_JOB_DONE;
    }
    if (written < n) return WM_APP_JOB_DONE;
    job.Post(WM_APP_PROGRESS, n, LPARAM(n));
    WriteIniString(kJobFolderSection, kKey, folder);
    job.report = true;
    return WM_APP_JOB_DONE;
}

void CJobFrame::OnExportCsv() {
    if (m_pJob) return;  // one job at a time; the running one keeps its resume position
    if (m_host.FileRows().RowCount() > 0 && IsNearMovieEnd(m_host.JobChannelPosition())) return;
    m_host.PrepareChannels(JobKind::Csv);
    m_host.SetResumePending(TRUE);
    if (!BeginJob()) return;

    // Until the movie is closed below there is nothing to resume.
    auto endEarly = [this](int text, const char* caption) {
        if (text) m_host.ShowMessage(text, QString::fromUtf8(caption), MSGBOX_OK);
        m_host.SetResumePending(FALSE);
        EndBeforeThread(0);
    };
    const std::string folder = m_host.PickFolder(kJobFolderSection, kKey, kTextChooseOutputFolder);
    if (folder.empty()) return endEarly(0, "");
    std::vector<sFILEENTRY> entries = m_host.GatherSourceFiles();
    m_strCsvFolder = folder;
    if (entries.empty()) return endEarly(kTextNoMovies, "ERROR");
    // Only a regular file of the list's name may be replaced, and only when the user says so;
    // a link, FIFO or device there is refused before anything is opened.
    const std::string path = CsvFilePath(entries.front().path, folder);
    const TargetKind existing = InspectTarget(path);
    if (existing == TargetKind::kRefused) return endEarly(kTextCsvFailed, "ERROR");
    if (existing == TargetKind::kRegular &&
        m_host.ShowMessage(kTextOverwrite, QString::fromUtf8(UiText(kTextConfirm)), MSGBOX_OKCANCEL) != IDOK)
        return endEarly(0, "");
    // A file that appears while the job runs was not asked about: it is kept.
    const Overwrite overwrite = existing == TargetKind::kRegular ? Overwrite::kRegularFile : Overwrite::kNever;

    const bool channelReady = m_host.JobChannelPosition().initialised;
    m_host.SetResumeFrame(m_host.CloseMovieOnScreen());
    RunWorkerJob([entries = std::move(entries), path, folder, channelReady, overwrite](JobState& job) {
        return CsvExportJob(job, entries, path, folder, channelReady, overwrite);
    });
}

}  // namespace orv
