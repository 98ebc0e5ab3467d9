// The frame of the main window's long jobs: deleting recordings, joining movies and the CSV
// export. One job at a time runs on a thread of its own while the UI thread keeps the window
// alive and shows the job's progress in a bar over the video.
//
// Every question a job needs (which files, which folder, may a file be replaced) is asked on
// the UI thread before its thread starts. The thread touches no widget and no list of the
// file browser: it works on its own copies (the list hands out copies and changes its own
// entries when asked by name, on the UI thread), posts WM_APP_PROGRESS and, at its end,
// WM_APP_JOB_DONE (a delete WM_APP_LIST_REFRESH first), and leaves its messages for the UI
// thread, which shows them when it handles the end.
//
// The main window owns one CJobFrame, forwards the three job commands and the three messages
// to it, and answers through IJobHost: for the list and the questions itself, for the
// channels through its playback road, which alone drives them.
#pragma once

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/commands/PlaybackRules.h"
#include "filer/FileRows.h"
#include "filer/FileSelectDlg.h"
#include "filer/FilerContainerDlg.h"
#include "platform/base/AppMessage.h"
#include "recorder/FileEntry.h"
#include "ui/MsgBox.h"

class QWidget;

namespace orv {

class CSkinProgressBarCtrl;

// The settings section of the jobs' output folders, and the texts of their questions.
inline constexpr const char* kJobFolderSection = "FOLDERPATH";
constexpr int kTextOverwrite = 90;  // "同名のファイルが存在します。続行しますか？"
constexpr int kTextConfirm = 104;   // its caption

enum class JobKind { Delete, Join, Csv };

// The main window's side of the jobs (what concerns the channels, the road's).
class IJobHost {
public:
    virtual ~IJobHost() = default;

    // The handle the jobs post to; its WM_APP_PROGRESS, WM_APP_JOB_DONE and
    // WM_APP_LIST_REFRESH go back to CJobFrame.
    virtual HWND JobWindow() = 0;
    // The video surface of the active channel; the progress bar lies over its bottom edge.
    virtual QWidget* ActiveVideoSurface() = 0;
    // Disables (FALSE) or enables again the 15 transport buttons and, through
    // EnableBrowserButtons, the tool buttons, the browser, the info panel, the sliders,
    // the graph, the video surface and the map host; then updates the map pane.
    virtual void EnableJobControls(BOOL enable) = 0;

    // Channel 1 as the near-end test (IsNearMovieEnd) sees it.
    virtual ChannelPosition JobChannelPosition() = 0;
    // The last open of a movie failed and showed its error.
    virtual BOOL IsOpenFailed() = 0;
    // Before the job starts. Delete and join: default speed step on both channels, the
    // volumes, the speed label, both channels and the panes to frame 0, playback stopped;
    // delete also closes both channels and cancels the data prefetch. Export: playback
    // paused and the data prefetch cancelled.
    virtual void PrepareChannels(JobKind kind) = 0;
    // Stops TIMER_PLAYBACK, clears the playback-started flag, closes both channels and
    // resets their recorder data. Returns channel 0's frame before closing (0 when it is
    // not initialised).
    virtual std::int64_t CloseMovieOnScreen() = 0;
    // The position to restore when the current movie is selected again after an export:
    // whether to restore it, and the frame.
    virtual void SetResumePending(BOOL pending) = 0;
    virtual void SetResumeFrame(std::int64_t frame) = 0;
    // After a join: both channels and the panes to frame 0, playback stopped.
    virtual void RewindAfterJoin() = 0;
    // After every job: clears the open-failed flag when set, else updates the control states.
    virtual void AfterJob() = 0;
    // Selects the current movie again; false when that fails.
    virtual bool SelectCurrentMovie() = 0;

    // The file browser.
    virtual SourceKind JobSourceKind() = 0;
    // Every movie of the source, gathered afresh.
    virtual std::vector<sFILEENTRY> GatherSourceFiles() = 0;
    // The file list: all movies of the current folder and the rows, as copies; the join
    // marks and the removal after a delete by name.
    virtual IFileRows& FileRows() = 0;
    // The file list's focused and selected row; 0 when there is none.
    virtual int SelectedRow() = 0;
    // The current row set to none and `row` selected again, without continuous play.
    virtual void ReselectRow(int row) = 0;
    // After a delete on a card or folder source: the info panel reset, the large view
    // left, the view reset for the source, row 0 selected, the source opened again, the
    // parking trace checked, the control states and the file count updated.
    virtual void RebuildBrowser() = 0;

    // Questions. The folder picker (BrowseForFolder) starting in the folder stored under
    // section/key; "" when cancelled.
    virtual std::string PickFolder(std::string_view section, std::string_view key, int titleText) = 0;
    // A message box (CMsgBox) of UI text `text` with `caption`; IDOK or IDCANCEL.
    virtual int ShowMessage(int text, const QString& caption, MsgBoxType type) = 0;
    // The same with `note` (UTF-8) on lines of its own below the text.
    virtual int ShowMessageWithNote(int text, const std::string& note, const QString& caption,
                                    MsgBoxType type) = 0;
    // The question before an output replaces older files: OverwriteQuestion (`names`) with
    // the caption text 104, OK and Cancel; IDOK or IDCANCEL.
    virtual int AskToReplace(const std::vector<std::string>& names) = 0;
    // The file selection dialog (CFileSelectDlg) in `mode` over the entries; false when it
    // does not end with OK. `ticked` receives the ticked entries in list order.
    virtual bool SelectFiles(int mode, const std::vector<sFILEENTRY>& source,
                             const std::vector<sFILEENTRY>& listed, std::vector<sFILEENTRY>* ticked) = 0;
};

// What a job's thread shares with the UI thread. The thread holds a reference of its own,
// so a thread that outlives EndWorkerJob's wait still finds it.
struct JobState {
    std::atomic<bool> running{false};
    HWND window = 0;
    // Written by the thread before its last post, read by the UI thread after it ended.
    int result = 0;
    int errorText = 0;  // UI text shown with the caption "ERROR" at the end; 0 for none
    bool report = false;
    // What the report adds below "完了しました。" (UTF-8): what the finished work lacks and
    // why, such as a join's output without a data file. Empty for nothing.
    std::string reportNote;

    void Post(unsigned msg, WPARAM wParam, LPARAM lParam) const { PostAppMessage(window, msg, wParam, lParam); }
    bool Running() const { return running.load(); }

    // The thread's end.
    void MarkFinished();
    // Waits until the thread's body returned; false after `ms` milliseconds.
    bool WaitFinished(int ms);

private:
    std::mutex lock_;
    std::condition_variable ended_;
    bool finished_ = false;
};

// How long the end of a job waits for its thread; a job tests its flag at least once per
// file or per 32 MiB copied, so a sound one ends well within it.
constexpr int kJobEndWaitMs = 15000;

class CJobFrame {
public:
    CJobFrame(IJobHost& host, CSkinProgressBarCtrl* progressBar);
    // Ends a running job (EndWorkerJob) before the frame goes.
    ~CJobFrame();
    CJobFrame(const CJobFrame&) = delete;
    CJobFrame& operator=(const CJobFrame&) = delete;

    // Commands.
    void OnDeleteMovies();
    void OnJoinMovies();
    void OnExportCsv();

    // Messages.
    void OnProgress(WPARAM done, LPARAM total);
    void OnJobFinished();
    void OnRefreshList();

    // Disables the controls, sets the flag and places the bar at 0 (PlaceJobProgress), unless
    // the command did so before its questions, then runs `body` on the job thread; every job
    // starts here. The body returns the message that ends it:
    // WM_APP_JOB_DONE (0, result), posted with the flag cleared, or WM_APP_LIST_REFRESH
    // (0, 1), posted with the flag still set. False when a job runs already
    // or has ended before its thread.
    using JobBody = std::function<unsigned(JobState&)>;
    bool RunWorkerJob(JobBody body);
    // Clears the flag, waits for the thread (at most kJobEndWaitMs), shows "完了しました。"
    // (with the job's note) when the job completed its work, and enables the controls
    // again. Shutdown calls it.
    void EndWorkerJob();
    void PlaceJobProgress();

    bool IsJobRunning() const { return m_pJob && m_pJob->Running(); }

    BOOL m_bJoinPending = FALSE;
    std::string m_strCsvFolder;

private:
    // Starts the frame of a job whose questions come first: flag set, bar placed, controls
    // disabled. EndBeforeThread posts the end when a question ended the job.
    bool BeginJob();
    void EndBeforeThread(int result);
    // Clears the flag and waits for the thread (at most kJobEndWaitMs); a thread that does
    // not end in time is left to end on its own with its own reference to the state.
    void StopThread();
    void ShowProgress(bool show);

    IJobHost& m_host;
    CSkinProgressBarCtrl* m_pProgress;
    std::shared_ptr<JobState> m_pJob;
    std::thread m_thread;
    // What the UI thread does when a job ends.
    std::vector<sFILEENTRY> m_vecDeleted;  // entries a delete removed from the lists
    std::vector<sFILEENTRY> m_vecJoined;   // entries of the join (their join marks)
};

// IJobHost::SelectFiles as the main window answers it: the file selection dialog over
// `owner`, with text 103 (caption "ERROR", through `showError`) when the source holds more
// entries than the dialog takes.
inline bool RunFileSelectDialog(QWidget* owner, int mode, const std::vector<sFILEENTRY>& source,
                                const std::vector<sFILEENTRY>& listed, std::vector<sFILEENTRY>* ticked,
                                const std::function<void(int text)>& showError) {
    constexpr int kTextTooManyEntries = 103;
    CFileSelectDlg dialog(owner);
    dialog.SetMode(mode);
    if (!dialog.SetSourceEntries(source)) showError(kTextTooManyEntries);
    dialog.SetListedEntries(listed);
    if (dialog.exec() != IDOK) return false;
    *ticked = dialog.m_vecResult;
    return true;
}

// Text 90, then the names of the files that would be replaced, one a line.
QString OverwriteQuestion(const std::vector<std::string>& names);

}  // namespace orv
