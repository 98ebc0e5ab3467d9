// The main window's commands on the picture and the list that need no worker job: the
// still images of both cameras, the large-video view, keep-aspect, the recording-kind
// filters, and the hover preview of a row.
#include "app/window/CsulvaneDlgPanes.h"

#include "app/commands/SnapshotName.h"
#include "platform/base/ReplacementFile.h"
#include "ui/CommonUtil.h"
#include "ui/MsgBox.h"
#include "ui/text/UiText.h"

namespace orv {

namespace {

constexpr int kTextDone = 44;
constexpr int kTextDoneCaption = 45;
constexpr int kTextOverwrite = 90;
constexpr int kTextSaveFailed = 98;
constexpr int kTextSnapshotFolder = 100;
constexpr int kTextConfirm = 104;
constexpr std::string_view kSnapshotFolderKey = "SNAPSHOT_FOLDER";

QString Text(int id) { return QString::fromUtf8(UiText(id)); }

}  // namespace

std::string CsulvaneDlg::MakeSnapshotFileName(const std::string& folder) const {
    // The name is that of the movie on screen, whichever row the list has selected since.
    return orv::MakeSnapshotFileName(folder, CurrentPath(), m_pRoad->CurrentFrame());
}

void CsulvaneDlg::OnSnapshot() {
    if (!m_pRoad->DataLoaded() || IsNearMovieEnd()) return;
    // The overlay cleared and the movie paused; no channel took the overlay: nothing to save.
    if (!m_pRoad->BeginSnapshot()) return;
    for (CSkinButton* button : m_apTransport)
        if (button) button->setEnabled(false);
    for (CMovieStatic& surface : m_aMovieStatic) {
        surface.m_bPicture = FALSE;
        if (surface.IsCreated()) surface.repaint();
    }
    EnableBrowserButtons(FALSE);
    UpdateMapPane();

    SaveSnapshotFiles();

    for (CMovieStatic& surface : m_aMovieStatic) surface.m_bPicture = TRUE;
    RestoreVideoLayout();
    EnableBrowserButtons(TRUE);
    UpdateMapPane();
    UpdateControlStates();
    m_pRoad->EndSnapshot();
}

void CsulvaneDlg::SaveSnapshotFiles() {
    const std::string folder =
        BrowseForFolder(this, settings::kFolderPath, kSnapshotFolderKey, UiText(kTextSnapshotFolder));
    if (folder.empty()) return;
    // A seek's picture may still be on its way: the name and the pictures saved are of the
    // frame on screen once it is there.
    m_pRoad->SettlePicture();
    const std::string front = MakeSnapshotFileName(folder);
    // A negative frame or a movie without a recorder name gives no file name to save to.
    if (front.empty()) {
        ShowError(kTextSaveFailed);
        return;
    }
    // A name without a camera letter to swap has no rear name: the front picture is saved
    // alone, since the rear one would take its name.
    const std::string rear = MakeRearSnapshotFileName(front);
    const bool rearWanted = m_pRoad->IsChannelInitialised(1) && !rear.empty();
    // A link, FIFO or device of a picture's name is never written through nor replaced;
    // only a regular file is worth the question.
    const TargetKind frontKind = InspectTarget(front);
    const TargetKind rearKind = rearWanted ? InspectTarget(rear) : TargetKind::kMissing;
    if (frontKind == TargetKind::kRefused || rearKind == TargetKind::kRefused) {
        ShowError(kTextSaveFailed);
        return;
    }
    if (frontKind == TargetKind::kRegular || rearKind == TargetKind::kRegular) {
        int answer = IDCANCEL;
        if (m_askOkCancel) {
            answer = m_askOkCancel(Text(kTextOverwrite), Text(kTextConfirm));
        } else {
            CMsgBox box(this);
            answer = box.Show(Text(kTextOverwrite), Text(kTextConfirm), MSGBOX_OKCANCEL);
        }
        if (answer != IDOK) return;
    }

    setUpdatesEnabled(false);
    ShowVideoAtNativeSize();
    if (!m_pRoad->IsChannelInitialised(0)) {
        setUpdatesEnabled(true);
        ShowError(kTextSaveFailed);
        return;
    }
    // Every channel with a movie open owes its picture; the rear channel of a recording
    // without a rear movie owes none.
    const auto [saved, missing] = m_pRoad->SaveSnapshots(front, rear);
    if (saved == 0) {
        setUpdatesEnabled(true);
        ShowError(kTextSaveFailed);
        return;
    }
    RestoreVideoLayout();
    setUpdatesEnabled(true);
    WriteIniString(settings::kFolderPath, kSnapshotFolderKey, folder);
    if (missing) {
        ShowError(kTextSaveFailed);
    } else if (m_showMessage) {
        m_showMessage(Text(kTextDone), Text(kTextDoneCaption));
    }
}

void CsulvaneDlg::ShowVideoAtNativeSize() {
    for (int i = 0; i < kChannelCount; ++i) {
        CMovieStatic& surface = m_aMovieStatic[std::size_t(i)];
        if (!surface.IsCreated()) continue;
        const SIZE size = m_pRoad->VideoSize(i);
        surface.hide();
        surface.resize(size.cx, size.cy);
    }
    m_pRoad->ApplyView(FALSE);
}

void CsulvaneDlg::RestoreVideoLayout() {
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    if (m_pMapWindow && m_pMapWindow->isVisible()) PlaceMapBesideVideo();
    LayoutForMode(m_nLayoutMode);
    setUpdatesEnabled(updates);
    m_pRoad->ApplyView(FALSE);
    if (m_aMovieStatic[0].IsCreated()) m_aMovieStatic[0].show();
    // The rear surface only where the layout has a place for it.
    if (m_aMovieStatic[1].IsCreated())
        m_aMovieStatic[1].setVisible(!m_bFullView && PanesForMode(m_nLayoutMode).rearSurface);
}

void CsulvaneDlg::OnLargeVideo() {
    if (IsNearMovieEnd()) return;
    const BOOL on = !m_aMovieStatic[0].m_bLargeVideo;
    SetLargeVideo(on);
    if (CSkinButton* button = m_apTransport[BTN_VIEW_LARGE_VIDEO]) {
        button->SetLatched(on);
        button->repaint();
    }
}

int CsulvaneDlg::RowCount() const { return m_pFiler && m_pFiler->GetList() ? m_pFiler->GetList()->RowCount() : 0; }

void CsulvaneDlg::FollowRefilteredList() {
    CFileListCtrl* list = m_pFiler ? m_pFiler->GetList() : nullptr;
    if (list) LoadListGpsTrack(list->CopyOfRows());
    SendCrashPositions(m_pRoad->CurrentRow(), TRUE);
    if (RowCount() == 0) {
        m_pRoad->CloseForEmptyList();
        SetPlayButtonState(FALSE);
        UpdateControlStates();
        m_pInfoDlg->ResetInfoValues();
        m_pInfoDlg->update();
    } else {
        m_pFiler->update();  // the file count
    }
}

}  // namespace orv
