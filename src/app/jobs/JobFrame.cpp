#include "app/jobs/JobFrame.h"

#include <QWidget>

#include <algorithm>
#include <chrono>

#include "ui/SkinDialog.h"
#include "ui/SkinProgressBarCtrl.h"
#include "ui/text/UiText.h"

namespace orv {

namespace {

constexpr int kTextDone = 44;
constexpr int kTextDoneCaption = 45;

}  // namespace

void JobState::MarkFinished() {
    std::lock_guard<std::mutex> guard(lock_);
    finished_ = true;
    ended_.notify_all();
}

bool JobState::WaitFinished(int ms) {
    std::unique_lock<std::mutex> guard(lock_);
    return ended_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return finished_; });
}

QString OverwriteQuestion(const std::vector<std::string>& names) {
    QString text = QString::fromUtf8(UiText(kTextOverwrite));
    for (const std::string& name : names)
        text += QLatin1Char('\n') + QString::fromStdString(name);
    return text;
}

CJobFrame::CJobFrame(IJobHost& host, CSkinProgressBarCtrl* progressBar)
    : m_host(host), m_pProgress(progressBar) {}

CJobFrame::~CJobFrame() { StopThread(); }

bool CJobFrame::BeginJob() {
    if (m_pJob) return false;
    m_pJob = std::make_shared<JobState>();
    m_pJob->window = m_host.JobWindow();
    m_pJob->running = true;
    OnProgress(0, 1);  // the bar starts empty
    PlaceJobProgress();
    return true;
}

void CJobFrame::EndBeforeThread(int result) {
    m_pJob->result = result;
    m_pJob->running = false;
    m_pJob->Post(WM_APP_JOB_DONE, 0, result);
}

bool CJobFrame::RunWorkerJob(JobBody body) {
    // A command that asks its questions first has begun the frame before them.
    if (m_thread.joinable() || (m_pJob && !m_pJob->running) || (!m_pJob && !BeginJob())) return false;
    ShowProgress(true);
    std::shared_ptr<JobState> job = m_pJob;
    m_thread = std::thread([job, body = std::move(body)] {
        const unsigned end = body(*job);
        job->MarkFinished();
        if (end == WM_APP_LIST_REFRESH) {
            job->Post(WM_APP_LIST_REFRESH, 0, 1);
        } else {
            job->running = false;
            job->Post(WM_APP_JOB_DONE, 0, job->result);
        }
    });
    return true;
}

void CJobFrame::PlaceJobProgress() {
    if (m_pProgress) {
        QWidget* surface = m_host.ActiveVideoSurface();
        if (surface && m_pProgress->parentWidget())
            m_pProgress->PlaceInside(m_pProgress->parentWidget(), surface);
        m_pProgress->raise();
    }
    m_host.EnableJobControls(FALSE);
}

void CJobFrame::ShowProgress(bool show) {
    if (!m_pProgress) return;
    m_pProgress->setVisible(show);
    if (show) m_pProgress->raise();
    m_pProgress->update();
}

void CJobFrame::OnProgress(WPARAM done, LPARAM total) {
    const std::uint64_t percent = total > 0 ? std::uint64_t(done) * 100 / std::uint64_t(total) : 100;
    if (!m_pProgress) return;
    m_pProgress->SetRange(0, 100);
    m_pProgress->SetPos(int(std::min<std::uint64_t>(percent, 100)));
    m_pProgress->update();
}

void CJobFrame::StopThread() {
    if (m_pJob) m_pJob->running = false;
    if (!m_thread.joinable()) return;
    if (m_pJob->WaitFinished(kJobEndWaitMs))
        m_thread.join();
    else
        m_thread.detach();
}

void CJobFrame::EndWorkerJob() {
    if (!m_pJob) return;
    StopThread();
    if (m_pJob->report) {
        m_pJob->report = false;
        // The work is done: the bar says so beside the report, whatever the job's last
        // steps posted, and before the report's box holds the window.
        OnProgress(1, 1);
        if (m_pProgress && m_pProgress->isVisible()) m_pProgress->repaint();
        const QString caption = QString::fromUtf8(UiText(kTextDoneCaption));
        if (m_pJob->reportNote.empty())
            m_host.ShowMessage(kTextDone, caption, MSGBOX_OK);
        else
            m_host.ShowMessageWithNote(kTextDone, m_pJob->reportNote, caption, MSGBOX_OK);
    }
    m_host.EnableJobControls(TRUE);
}

void CJobFrame::OnJobFinished() {
    if (!m_pJob) return;
    const std::shared_ptr<JobState> job = m_pJob;
    EndWorkerJob();
    if (job->errorText) m_host.ShowMessage(job->errorText, QStringLiteral("ERROR"), MSGBOX_OK);

    // A join marks its movies in the folder's entries only when it wrote the output.
    if (!m_vecJoined.empty()) {
        m_host.FileRows().MarkJoined(m_vecJoined, job->result == 1 && !job->errorText);
        m_vecJoined.clear();
    }
    if (job->result == 0) m_bJoinPending = FALSE;
    if (m_bJoinPending) {
        m_host.RewindAfterJoin();
        m_bJoinPending = FALSE;
    }
    m_host.AfterJob();
    ShowProgress(false);
    m_pJob.reset();
    if (!m_host.SelectCurrentMovie()) m_host.SetResumePending(FALSE);
}

}  // namespace orv
