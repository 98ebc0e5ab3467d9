#include "app/jobs/JoinJob.h"

#include <thread>

#include "filer/FileSelectDlg.h"
#include "platform/base/PathUtil.h"
#include "platform/base/ReplacementSet.h"
#include "recorder/MovieJoin.h"
#include "ui/CommonUtil.h"
#include "ui/SkinDialog.h"
#include "ui/text/UiText.h"

namespace orv {

namespace {

constexpr int kTextJoinFailed = 92;
constexpr int kTextChooseBackupFolder = 100;
constexpr const char* kKey = "CONNECT_FOLDER";

}  // namespace

std::uint64_t JoinBytesNeeded(const std::vector<sFILEENTRY>& entries) {
    std::uint64_t need = 0;
    for (const sFILEENTRY& e : entries)
        need += e.movieSize + e.companionSize + e.dataSize;
    return need;
}

unsigned JoinMoviesJob(JobState& job, const std::vector<std::string>& paths,
                       const std::string& outputPath) {
    const WPARAM n = paths.size();
    sMOVIEJOIN join;
    join.progressWindow = job.window;
    join.keepRunning = &job.running;
    ClearBoxNodeCounters();
    auto fail = [&] {
        job.errorText = kTextJoinFailed;
        return WM_APP_JOB_DONE;
    };
    if (paths.empty() || !BeginJoin(join, paths[0])) return fail();
    job.result = 1;
    job.Post(WM_APP_PROGRESS, 1, LPARAM(n));
    for (std::size_t i = 1; i < paths.size(); ++i) {
        if (!job.Running()) return WM_APP_JOB_DONE;
        if (!AppendMovieToJoin(join, paths[i])) return fail();
        job.Post(WM_APP_PROGRESS, i, LPARAM(2 * n));
        std::this_thread::yield();
    }
    job.Post(WM_APP_PROGRESS, 50, 100);
    if (!job.Running()) return WM_APP_JOB_DONE;
    job.Post(WM_APP_PROGRESS, 10, 100);
    if (!WriteJoinedMovie(join, outputPath)) {
        // A stop is no failure to tell of: nothing was written and the program is closing.
        if (!job.Running()) return WM_APP_JOB_DONE;
        return fail();
    }
    FreeJoin(join);  // the box trees post their progress as they go
    job.Post(WM_APP_PROGRESS, 100, 100);
    WriteIniString(kJobFolderSection, kKey, PathRemoveFileSpec(outputPath));
    job.Post(WM_APP_PROGRESS, n, LPARAM(n));
    job.report = true;
    return WM_APP_JOB_DONE;
}

void CJobFrame::OnJoinMovies() {
    if (m_pJob) return;  // one job at a time; the running one keeps the channels as they are
    if (IsNearMovieEnd(m_host.JobChannelPosition())) return;
    m_host.PrepareChannels(JobKind::Join);
    m_bJoinPending = TRUE;
    if (!BeginJob()) return;

    std::vector<sFILEENTRY>& folder = m_host.FolderEntries();
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
