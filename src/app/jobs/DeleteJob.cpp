#include "app/jobs/DeleteJob.h"

#include <chrono>
#include <thread>

#include "filer/FileSelectDlg.h"
#include "platform/base/PathUtil.h"
#include "recorder/CardLayout.h"
#include "recorder/FolderScan.h"
#include "recorder/RecordingName.h"
#include "ui/CommonUtil.h"

namespace orv {

namespace {

constexpr int kTextDeleteFailed = 94;
// The player lets the files of a closed movie go within this time.
constexpr auto kReleaseWait = std::chrono::milliseconds(1000);

}  // namespace

bool DeleteRecording(const std::string& moviePath) {
    if (DetectFolderLayout(moviePath) && IsRecorderMovieName(moviePath)) return HideAsDeleted(moviePath);
    std::vector<std::string> files{moviePath};
    if (IsMainCameraMovieName(moviePath)) {
        files.push_back(CompanionFileName(moviePath));
        files.push_back(DataFileOfMovie(moviePath));
    }
    bool ok = true;
    for (const std::string& file : files)
        if (PathFileExists(file) && !DeleteToRecycleBin(file)) ok = false;
    return ok;
}

unsigned DeleteMoviesJob(JobState& job, const std::vector<std::string>& paths,
                         const std::string& onScreenPath) {
    const auto started = std::chrono::steady_clock::now();
    const std::size_t n = paths.size();
    job.result = 1;
    for (std::size_t done = 1; done <= n; ++done) {
        if (!job.Running()) return WM_APP_JOB_DONE;
        const std::string& path = paths[n - done];
        if (path == onScreenPath) std::this_thread::sleep_until(started + kReleaseWait);
        if (!DeleteRecording(path)) {
            job.errorText = kTextDeleteFailed;
            return WM_APP_LIST_REFRESH;
        }
        job.Post(WM_APP_PROGRESS, done - 1, LPARAM(n));
    }
    job.Post(WM_APP_PROGRESS, n, LPARAM(n));
    return WM_APP_LIST_REFRESH;
}

void CJobFrame::OnDeleteMovies() {
    if (m_pJob) return;  // one job at a time; the running one keeps the channels as they are
    if (!m_host.IsOpenFailed()) {
        if (IsNearMovieEnd(m_host.JobChannelPosition())) return;
        m_host.PrepareChannels(JobKind::Delete);
    }
    if (!BeginJob()) return;

    const int row = m_host.SelectedRow();
    std::vector<sFILEENTRY> source = m_host.GatherSourceFiles();
    std::vector<sFILEENTRY> listed = m_host.FileRows().CopyOfRows();
    NumberEntries(source);
    NumberEntries(listed);
    std::vector<sFILEENTRY> ticked;
    if (!m_host.SelectFiles(CFileSelectDlg::MODE_DELETE, source, listed, &ticked) || ticked.empty()) {
        m_host.ReselectRow(row);
        EndBeforeThread(0);
        return;
    }

    // The movie on screen is closed here, on the UI thread; the job waits before removing it.
    std::string onScreen;
    if (row >= 0 && std::size_t(row) < listed.size()) onScreen = listed[std::size_t(row)].path;
    std::vector<std::string> paths;
    bool closeOnScreen = false;
    for (const sFILEENTRY& entry : ticked) {
        paths.push_back(entry.path);
        closeOnScreen = closeOnScreen || entry.path == onScreen;
    }
    if (closeOnScreen) m_host.CloseMovieOnScreen();
    m_vecDeleted = ticked;
    RunWorkerJob([paths, onScreen = closeOnScreen ? onScreen : std::string()](JobState& job) {
        return DeleteMoviesJob(job, paths, onScreen);
    });
}

void CJobFrame::OnRefreshList() {
    if (!m_pJob) return;
    // The entries whose movie is gone leave the lists; a card or folder source is then read
    // again whole, so the list shows what the source holds even after a failed delete.
    std::erase_if(m_vecDeleted, [](const sFILEENTRY& e) { return PathFileExists(e.path); });
    m_host.FileRows().RemoveEntries(m_vecDeleted);
    m_vecDeleted.clear();
    const SourceKind kind = m_host.JobSourceKind();
    if (kind == SOURCE_SD || kind == SOURCE_FOLDER) m_host.RebuildBrowser();
    m_pJob->report = m_pJob->errorText == 0;
    m_pJob->running = false;
    m_pJob->Post(WM_APP_JOB_DONE, 0, m_pJob->result);
}

}  // namespace orv
