#include "app/jobs/JoinJob.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <thread>

#include "filer/FileSelectDlg.h"
#include "platform/base/PathUtil.h"
#include "platform/base/ReplacementSet.h"
#include "recorder/CardLayout.h"
#include "recorder/FolderScan.h"
#include "recorder/MovieJoin.h"
#include "ui/CommonUtil.h"
#include "ui/SkinDialog.h"
#include "ui/text/UiText.h"

namespace orv {

namespace {

constexpr int kTextJoinFailed = 92;
constexpr int kTextChooseBackupFolder = 100;
constexpr const char* kKey = "CONNECT_FOLDER";

// Where the steps of a join end on its progress scale, in percent.
constexpr double kOpenedPercent = 10;
constexpr double kWrittenPercent = 95;
constexpr double kFreedPercent = 99;

}  // namespace

std::uint64_t JoinBytesNeeded(const std::vector<sFILEENTRY>& entries) {
    std::uint64_t need = 0;
    for (const sFILEENTRY& e : entries)
        need += e.movieSize + e.companionSize + e.dataSize;
    return need;
}

std::string JoinDataNote(JoinDataLoss loss, const std::string& movie) {
    const char* why = "";
    switch (loss) {
    case JoinDataLoss::kNone: return {};
    case JoinDataLoss::kMissing: why = "のデータファイルがありません。"; break;
    case JoinDataLoss::kUnreadable: why = "のデータファイルを読み込めません。"; break;
    case JoinDataLoss::kCut: why = "のデータファイルが途中で切れています。"; break;
    }
    return "連結した動画にデータファイルはありません。\n「" + std::string(PathFindFileName(movie)) + "」" + why;
}

void JoinProgressScale::Enter(Step step, std::uint64_t frontBytes, std::uint64_t rearBytes) {
    if (m_step == Step::Unfinished || m_step == Step::Succeeded) return;
    m_step = step;
    if (step == Step::Writing) {
        const double bytes = double(frontBytes) + double(rearBytes);
        m_frontShare = bytes > 0 ? double(frontBytes) / bytes : 1.0;
        m_nPass = -1;
        Raise(kOpenedPercent);
    } else if (step == Step::Freeing) {
        Raise(kWrittenPercent);
    } else if (step == Step::Succeeded) {
        m_nPercent = 100;
    }
}

int JoinProgressScale::Report(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return m_nPercent;
    const double part = std::min(1.0, double(done) / double(total));
    switch (m_step) {
    case Step::Opening: return Raise(kOpenedPercent * part);
    case Step::Writing: {
        // The writer counts each movie from 0 of its own total.
        if (m_nPass < 0 || total != m_passTotal || done < m_passDone) {
            ++m_nPass;
            m_passTotal = total;
        }
        m_passDone = done;
        const double written = m_nPass == 0 ? m_frontShare * part : m_frontShare + (1.0 - m_frontShare) * part;
        return Raise(kOpenedPercent + (kWrittenPercent - kOpenedPercent) * written);
    }
    case Step::Freeing: return Raise(kWrittenPercent + (kFreedPercent - kWrittenPercent) * part);
    default: return m_nPercent;
    }
}

int JoinProgressScale::Raise(double percent) {
    m_nPercent = std::max(m_nPercent, std::min(int(percent), int(kFreedPercent)));
    return m_nPercent;
}

namespace {

// The handle the join's movies and writer report to: their posts go through the scale, and
// the job's window hears one percentage (done of 100) each time it grows. The reporters post
// on the job's thread, where the job itself moves the scale on.
class JoinProgress {
public:
    explicit JoinProgress(JobState& job)
        : m_job(job), m_relay(RegisterAppWindow([this](unsigned msg, WPARAM done, LPARAM total) {
              if (msg == WM_APP_PROGRESS && total > 0) Forward(m_scale.Report(done, std::uint64_t(total)));
          })) {}
    ~JoinProgress() { UnregisterAppWindow(m_relay); }
    JoinProgress(const JoinProgress&) = delete;
    JoinProgress& operator=(const JoinProgress&) = delete;

    HWND Handle() const { return m_relay; }
    void Enter(JoinProgressScale::Step step, std::uint64_t frontBytes = 0, std::uint64_t rearBytes = 0) {
        m_scale.Enter(step, frontBytes, rearBytes);
        Forward(m_scale.Percent());
    }
    void Opened(std::size_t done, std::size_t count) { Forward(m_scale.Report(done, count)); }

private:
    void Forward(int percent) {
        if (percent == m_nPosted) return;
        m_nPosted = percent;
        m_job.Post(WM_APP_PROGRESS, WPARAM(percent), 100);
    }

    JobState& m_job;
    JoinProgressScale m_scale;
    int m_nPosted = -1;
    HWND m_relay;  // last: its sink uses the members above
};

std::uint64_t FileBytes(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(std::filesystem::u8path(path), error);
    return error ? 0 : std::uint64_t(size);
}

}  // namespace

unsigned JoinMoviesJob(JobState& job, const std::vector<std::string>& paths,
                       const std::string& outputPath) {
    using Step = JoinProgressScale::Step;
    // Made before the join: its movies report while they are freed, at the end of the join.
    JoinProgress progress(job);
    sMOVIEJOIN join;
    join.progressWindow = progress.Handle();
    join.keepRunning = &job.running;
    ClearBoxNodeCounters();
    const auto end = [&](bool failed) {
        progress.Enter(Step::Unfinished);
        if (failed) job.errorText = kTextJoinFailed;
        return WM_APP_JOB_DONE;
    };
    if (paths.empty() || !BeginJoin(join, paths[0])) return end(true);
    job.result = 1;
    progress.Opened(1, paths.size());
    for (std::size_t i = 1; i < paths.size(); ++i) {
        if (!job.Running()) return end(false);
        if (!AppendMovieToJoin(join, paths[i])) return end(true);
        progress.Opened(i + 1, paths.size());
        std::this_thread::yield();
    }
    if (!job.Running()) return end(false);
    std::uint64_t front = 0, rear = 0;
    for (const std::string& path : paths) {
        front += FileBytes(path);
        if (join.hasRear && join.firstRear) rear += FileBytes(CompanionFileName(path));
    }
    progress.Enter(Step::Writing, front, rear);
    // A stop is no failure to tell of: nothing was written and the program is closing.
    if (!WriteJoinedMovie(join, outputPath)) return end(job.Running());
    job.reportNote = JoinDataNote(join.dataLoss, join.dataLossMovie);
    progress.Enter(Step::Freeing);
    FreeJoin(join);
    WriteIniString(kJobFolderSection, kKey, PathRemoveFileSpec(outputPath));
    progress.Enter(Step::Succeeded);
    job.report = true;
    return WM_APP_JOB_DONE;
}

void CJobFrame::OnJoinMovies() {
    if (m_pJob) return;  // one job at a time; the running one keeps the channels as they are
    if (IsNearMovieEnd(m_host.JobChannelPosition())) return;
    m_host.PrepareChannels(JobKind::Join);
    m_bJoinPending = TRUE;
    if (!BeginJob()) return;

    // Numbered by their place among the folder's entries, which the join marks go by.
    std::vector<sFILEENTRY> folder = m_host.FileRows().CopyOfFolder();
    NumberEntries(folder);
    std::vector<sFILEENTRY> ticked;
    if (!m_host.SelectFiles(CFileSelectDlg::MODE_JOIN, {}, folder, &ticked) || ticked.empty())
        return EndBeforeThread(0);
    const std::string chosen = m_host.PickFolder(kJobFolderSection, kKey, kTextChooseBackupFolder);
    if (chosen.empty()) return EndBeforeThread(0);
    const std::string output = PathAppend(chosen, PathFindFileName(ticked.front().path));
    // The output is a set: the movie, its companion and its data file. Something other than
    // a file at one of their names (a link, a folder, a FIFO) is never written through or
    // removed; there is no file to ask about replacing.
    std::vector<std::string> replaced;
    for (const std::string& part : JoinOutputParts(output)) {
        if (!NotReplaceable(part).empty()) {
            m_pJob->errorText = kTextJoinFailed;
            return EndBeforeThread(0);
        }
        // Whichever parts the join writes, every older one goes: the question names them all.
        if (InspectTarget(part) == TargetKind::kRegular)
            replaced.push_back(PathRemoveFileSpec(part) == PathRemoveFileSpec(output) ? std::string(PathFindFileName(part))
                                                                                     : part);
    }
    if (!replaced.empty() && m_host.AskToReplace(replaced) != IDOK) return EndBeforeThread(0);

    m_vecJoined = ticked;
    // The output must fit with room to spare.
    if (!(JoinBytesNeeded(ticked) < GetFreeDiskSpace(chosen))) {
        m_pJob->errorText = kTextJoinFailed;
        return EndBeforeThread(0);
    }
    m_host.CloseMovieOnScreen();
    std::vector<std::string> paths;
    for (const sFILEENTRY& entry : ticked)
        paths.push_back(entry.path);
    RunWorkerJob([paths, output](JobState& job) { return JoinMoviesJob(job, paths, output); });
}

}  // namespace orv
