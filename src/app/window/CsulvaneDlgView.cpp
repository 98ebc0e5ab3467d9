// The main window's commands on the picture and the list that need no worker job: the
// still images of both cameras, the large-video view, keep-aspect, the recording-kind
// filters, and the hover preview of a row.
#include "app/window/CsulvaneDlgPanes.h"

#include "app/commands/SnapshotName.h"
#include "platform/base/ReplacementFile.h"
#include "playback/ChannelFacade.h"
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
    const std::int64_t frame = ChannelInitialised(0) ? Slots(0).GetCurrentFrame(Channel(0)) : 0;
    return orv::MakeSnapshotFileName(folder, CurrentPath(), frame);
}

void CsulvaneDlg::OnSnapshot() {
    if (!m_pRoad->DataLoaded() || IsNearMovieEnd()) return;
    int cleared = 0;
    for (int i = 0; i < kChannelCount; ++i)
        if (ChannelInitialised(i)) cleared |= Slots(i).ShowOverlayText(Channel(i), std::string());
    if (!cleared) return;

    if (ChannelInitialised(0) && Channel(0).playState == PLAY_PLAYING) PausePlayback();
    RefreshVideo();
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
    for (int i = 0; i < kChannelCount; ++i)
        if (ChannelInitialised(i)) Slots(i).ClearOverlay(Channel(i));
}

void CsulvaneDlg::SaveSnapshotFiles() {
    const std::string folder =
        BrowseForFolder(this, settings::kFolderPath, kSnapshotFolderKey, UiText(kTextSnapshotFolder));
    if (folder.empty()) return;
    // A seek's picture may still be on its way: the name and the pictures saved are of the
    // frame on screen once it is there.
    SettleChannels();
    const std::string front = MakeSnapshotFileName(folder);
    // A negative frame or a movie without a recorder name gives no file name to save to.
    if (front.empty()) {
        ShowError(kTextSaveFailed);
        return;
    }
    // A name without a camera letter to swap has no rear name: the front picture is saved
    // alone, since the rear one would take its name.
    const std::string rear = MakeRearSnapshotFileName(front);
    const bool rearWanted = ChannelInitialised(1) && !rear.empty();
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
    if (!ChannelInitialised(0)) {
        setUpdatesEnabled(true);
        ShowError(kTextSaveFailed);
        return;
    }
    // Every channel with a movie open owes its picture; the rear channel of a recording
    // without a rear movie owes none. The front goes first and the rear only behind it, so
    // that a front that failed never leaves an older front of its name beside a new rear.
    const std::string paths[kChannelCount] = {front, rear};
    int saved = 0;
    bool missing = false;
    for (int i = 0; i < kChannelCount && !missing; ++i) {
        if (!ChannelInitialised(i) || paths[i].empty()) continue;
        if (Slots(i).SaveSnapshot(Channel(i), paths[i])) ++saved;
        else missing = Channel(i).playState != PLAY_CLOSED;
    }
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
        int width = 0, height = 0;
        if (ChannelInitialised(i)) Slots(i).GetVideoSize(Channel(i), &width, &height);
        surface.hide();
        surface.resize(std::max(width, 0), std::max(height, 0));
    }
    SetChannelsView(m_aView, FALSE);
}

void CsulvaneDlg::RestoreVideoLayout() {
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    if (m_pMapWindow && m_pMapWindow->isVisible()) PlaceMapBesideVideo();
    LayoutForMode(m_nLayoutMode);
    setUpdatesEnabled(updates);
    SetChannelsView(m_aView, FALSE);
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

void CsulvaneDlg::OnKeepAspect() {
    if (!m_pRoad->DataLoaded()) return;
    const int flag = ChannelInitialised(0) ? Channel(0).keepAspect : 0;
    if (flag != 0 && flag != 1) return;
    const BOOL mode = flag == 1 ? FALSE : TRUE;
    m_bKeepAspect = mode;
    SetChannelsKeepAspect(mode);
    SetChannelsView(m_aView, FALSE);
    WriteKeepAspect(mode == TRUE);
    UpdateSpeedLabel();
}

int CsulvaneDlg::RowCount() const { return m_pFiler && m_pFiler->GetList() ? m_pFiler->GetList()->RowCount() : 0; }

void CsulvaneDlg::FollowRefilteredList() {
    CFileListCtrl* list = m_pFiler ? m_pFiler->GetList() : nullptr;
    if (list) LoadListGpsTrack(list->CopyOfRows());
    SendCrashPositions(m_pRoad->CurrentRow(), TRUE);
    if (RowCount() == 0) {
        if (!(ChannelInitialised(0) && Channel(0).playState == PLAY_PAUSED)) PauseChannels();
        StopPlayback();
        SetChannelsSpeed(GetDefaultSpeedStep());
        ResetChannels();
        CloseChannels();
        ResetPlaybackUi();
        SetPlayButtonState(FALSE);
        UpdateControlStates();
        m_pInfoDlg->ResetInfoValues();
        m_pInfoDlg->update();
    } else {
        m_pFiler->update();  // the file count
    }
}

}  // namespace orv
