// The main window's side of the long jobs (deleting, joining, the CSV export): what the job
// frame asks of the window before, during and after a job.
#include "app/window/CsulvaneDlgPanes.h"


#include "app/jobs/JobFrame.h"
#include "filer/FileListCtrl.h"
#include "ui/CommonUtil.h"
#include "ui/MsgBox.h"
#include "ui/text/UiText.h"

namespace orv {

class CsulvaneDlg::JobHost : public IJobHost {
public:
    explicit JobHost(CsulvaneDlg& dlg) : d(dlg) {}

    HWND JobWindow() override { return d.GetSafeHwnd(); }
    QWidget* ActiveVideoSurface() override { return &d.m_aMovieStatic[0]; }

    void EnableJobControls(BOOL enable) override {
        for (CSkinButton* button : d.m_apTransport)
            if (button) button->setEnabled(enable);
        d.EnableBrowserButtons(enable);
        d.UpdateMapPane();
    }

    ChannelPosition JobChannelPosition() override { return d.m_pRoad->NearEndPosition(); }
    BOOL IsOpenFailed() override { return d.m_pRoad->OpenFailed(); }

    void PrepareChannels(JobKind kind) override {
        d.m_pRoad->PrepareForJob(kind == JobKind::Csv, kind == JobKind::Delete);
    }

    std::int64_t CloseMovieOnScreen() override { return d.m_pRoad->CloseMovieOnScreen(); }
    void SetResumePending(BOOL pending) override { d.m_pRoad->SetResumePending(pending); }
    void SetResumeFrame(std::int64_t frame) override {
        d.m_pRoad->SetResumeFrame(frame);
    }
    void RewindAfterJoin() override { d.m_pRoad->RewindAfterJoin(); }
    void AfterJob() override {
        if (d.m_pRoad->OpenFailed()) d.m_pRoad->ClearOpenFailed();
        else d.UpdateControlStates();
    }
    bool SelectCurrentMovie() override { return d.SelectMovie(TRUE, TRUE, TRUE) != FALSE; }

    SourceKind JobSourceKind() override { return d.m_pFiler->GetSourceKind(); }
    std::vector<sFILEENTRY> GatherSourceFiles() override { return d.m_pFiler->GatherSourceFiles(); }
    IFileRows& FileRows() override { return *d.m_pFiler->GetList(); }
    int SelectedRow() override {
        const int row = d.m_pFiler->GetList()->GetSelectedRow();
        return row < 0 ? 0 : row;
    }
    void ReselectRow(int row) override {
        d.m_pRoad->ForgetRow();
        d.m_pFiler->SelectFileRow(row, FALSE);
    }
    void RebuildBrowser() override {
        d.m_pInfoDlg->ResetInfoValues();
        if (d.m_bLargeVideo) d.SetLargeVideo(FALSE);
        d.ResetViewForSource();
        d.m_pFiler->OpenSourcePath(d.m_pFiler->GetSourcePath(), d.m_pFiler->GetSourceKind());
        d.m_pFiler->SelectRecorderFolder();
        if (d.m_pFiler->GetList()->GetItemCount() > 0) d.m_pFiler->SelectFileRow(0, FALSE);
        d.CheckParkingTrace();
        d.UpdateControlStates();
        d.m_pFiler->update();
    }

    std::string PickFolder(std::string_view section, std::string_view key, int titleText) override {
        return BrowseForFolder(&d, section, key, UiText(titleText));
    }
    int ShowMessage(int text, const QString& caption, MsgBoxType type) override {
        CMsgBox box(&d);
        return box.Show(QString::fromUtf8(UiText(text)), caption, type);
    }
    int ShowMessageWithNote(int text, const std::string& note, const QString& caption, MsgBoxType type) override {
        CMsgBox box(&d);
        return box.Show(QString::fromUtf8(UiText(text)) + QStringLiteral("\n\n") + QString::fromStdString(note),
                        caption, type);
    }
    int AskToReplace(const std::vector<std::string>& names) override {
        CMsgBox box(&d);
        return box.Show(OverwriteQuestion(names), QString::fromUtf8(UiText(kTextConfirm)), MSGBOX_OKCANCEL);
    }
    bool SelectFiles(int mode, const std::vector<sFILEENTRY>& source, const std::vector<sFILEENTRY>& listed,
                     std::vector<sFILEENTRY>* ticked) override {
        return RunFileSelectDialog(&d, mode, source, listed, ticked, [this](int text) { d.ShowError(text); });
    }

private:
    CsulvaneDlg& d;
};

void CsulvaneDlg::CreateJobFrame() {
    m_pJobHost = std::make_shared<JobHost>(*this);
    m_pJobFrame = std::make_shared<CJobFrame>(*m_pJobHost, m_pProgress.get());
    SetStopWorkerJob([this] {
        if (m_pJobFrame && m_pJobFrame->IsJobRunning()) m_pJobFrame->EndWorkerJob();
    });
}

void CsulvaneDlg::DestroyJobFrame() {
    m_pJobFrame.reset();
    m_pJobHost.reset();
}

BOOL CsulvaneDlg::OnJobCommand(int id) {
    if (!m_pJobFrame) return FALSE;
    switch (id) {
    case ID_DELETE_MOVIES: m_pJobFrame->OnDeleteMovies(); return TRUE;
    case ID_JOIN_MOVIES: m_pJobFrame->OnJoinMovies(); return TRUE;
    case ID_EXPORT_CSV: m_pJobFrame->OnExportCsv(); return TRUE;
    default: return FALSE;
    }
}

BOOL CsulvaneDlg::OnJobMessage(unsigned msg, WPARAM wParam, LPARAM lParam) {
    if (!m_pJobFrame) return FALSE;
    switch (msg) {
    case WM_APP_PROGRESS: m_pJobFrame->OnProgress(wParam, lParam); return TRUE;
    case WM_APP_JOB_DONE: m_pJobFrame->OnJobFinished(); return TRUE;
    case WM_APP_LIST_REFRESH: m_pJobFrame->OnRefreshList(); return TRUE;
    default: return FALSE;
    }
}

}  // namespace orv

