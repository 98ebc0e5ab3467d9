// The main window's commands: the command ids sent to it (the transport's go on to the
// playback road, which plays, pauses, stops, seeks and sets the speed and the volume), the
// messages of the panes, the folder tree and the source watcher, the video surfaces' clicks
// and menu, and which controls take input.
#include "app/window/CsulvaneDlgPanes.h"

#include <QCursor>

#include "app/surface/MovieMenu.h"
#include "app/settings/SettingDlg.h"
#include "platform/base/PathUtil.h"
#include "ui/text/UiText.h"

namespace orv {

void CsulvaneDlg::OnCommand(int id) {
    if (OnJobCommand(id)) return;
    switch (id) {
    case ID_PLAY_PAUSE: OnPlayPause(); break;
    case ID_PLAY_STOP: OnStop(); break;
    case ID_PLAY_NEXT: OnNextMovie(); break;
    case ID_PLAY_PREV: OnPrevMovie(); break;
    case IDC_BTN_CLOSE: OnBtnClose(); break;
    case IDC_BTN_MINIMIZE: OnBtnMinimize(); break;
    default: OnFurtherCommand(id); break;
    }
}

RoadSlider CsulvaneDlg::SliderOf(WPARAM id) {
    if (id == WPARAM(IDC_SEEK_SLIDER)) return RoadSlider::kSeek;
    if (id == WPARAM(IDC_VOLUME_SLIDER)) return RoadSlider::kVolume;
    return RoadSlider::kOther;
}

bool CsulvaneDlg::SeekBesideThumb() const { return m_pSeekSlider && m_pSeekSlider->IsClickOutsideThumb(); }

void CsulvaneDlg::OnInfoAxisToggle(WPARAM axis, LPARAM state) { ApplyDetectorToggle(DetectorForAxis(int(axis)), state); }

void CsulvaneDlg::OnEventFilterChanged(WPARAM index, LPARAM state) {
    // The box decides: a message that arrives after the box was locked or freed again
    // must not undo that.
    if (m_pSettingDlg && m_pSettingDlg->GetEventButton(int(index))) {
        SetDetectorOfEventBox(int(index));
        FollowDetectors();
        return;
    }
    ApplyDetectorToggle(DetectorForEventFilter(int(index)), state);
}

void CsulvaneDlg::SetDetectorOfEventBox(int index) {
    const int detector = DetectorForEventFilter(index);
    if (detector >= 0 && m_pSettingDlg)
        m_pGraphDlg->SetDetectorFlags(detector, m_pSettingDlg->IsEventChecked(index));
}

void CsulvaneDlg::ApplyDetectorToggle(int detector, LPARAM state) {
    if (detector < 0) return;
    m_pGraphDlg->SetDetectorFlags(detector, state ? TRUE : FALSE);
    FollowDetectors();
}

void CsulvaneDlg::FollowDetectors() {
    m_pGraphDlg->update();
    // The event list is built again whether or not the map page is up: the graph's event
    // jumps walk it too.
    const int row = m_pRoad->CurrentRow();
    if (IsValidRow(row)) SendCrashPositions(row, FALSE);
}

void CsulvaneDlg::OnFolderSelected(WPARAM, LPARAM item) {
    if (item == 0 || !m_hMutexCache) return;
    bool found = false;
    // The data threads are ended before the list's lock is taken: a thread never has to
    // finish while this one holds what it might wait for.
    JoinDataThreads();
    {
        std::lock_guard lock(*m_hMutexCache);
        m_pRoad->LeaveFolder();
        found = m_pFiler->OpenTreeItem(FolderTreeItem(item));
        if (found) m_pRoad->SelectionDone();
        if (!m_pRoad->Advancing()) {
            SetPlayButtonState(FALSE);
            const SourceKind kind = m_pFiler->GetSourceKind();
            m_bCsvDisabled = (kind == SOURCE_SD && !found) || kind == SOURCE_FOLDER || kind == SOURCE_FILE;
            UpdateControlStates();
        }
    }
    if (!found) {
        OpenNextNonEmptyFolder(FolderTreeItem(item));
        return;
    }
    LoadListGpsTrack(m_pFiler->GetList()->CopyOfRows());
    m_pFiler->SetContinue(m_pRoad->FolderAdvance());
    {
        std::lock_guard lock(*m_hMutexCache);
        // Making row 0 the only selected row selects its movie through the list.
        m_pFiler->GetList()->SelectOnlyRow(0);
    }
    SendCrashPositions(m_pRoad->CurrentRow(), TRUE);
}

void CsulvaneDlg::OnSourceLostReport() {
    CMovieResource& watcher = m_pFiler->GetWatcher();
    // A report of a source that another one has replaced since is late: nothing is lost.
    if (!watcher.IsLost()) return;
    // The watcher looked while the source was away; by now it may be back (a card put back,
    // a folder restored). Then the movie on screen plays on, when it is still there.
    const WatchedSource lost = watcher.LostSource();
    const bool movieOpen = m_pRoad->IsChannelShowing(0);
    if (!lost.path.empty() && lost.IsPresent() && (!movieOpen || PathFileExists(m_pRoad->OpenPath()))) {
        watcher.ClearLost();
        watcher.SetPath(lost.path, lost.rule);
        ResetVideoArea();
        return;
    }
    OnSourceLost();
}

void CsulvaneDlg::OnSourceBack() {
    CMovieResource& watcher = m_pFiler->GetWatcher();
    // Only the source that was lost comes back, and only while no other one was opened since
    // (nor the lost one found back before its loss was handled).
    if (!watcher.IsLost() || !watcher.GetPath().empty()) return;
    const SourceKind kind = m_pFiler->GetSourceKind();
    const std::string path = m_pFiler->GetSourcePath();
    if (kind == SOURCE_NONE || path.empty()) return;
    // Opened as at start-up: a card at its recorder's date folder.
    if (OpenChosenSource(kind, path) && m_pFiler->IsCardRootSource()) m_pFiler->SelectRecorderFolder();
}

void CsulvaneDlg::OnSourceLost() {
    m_pRoad->ForgetData();
    m_pRoad->HaltPlayback();
    m_pInfoDlg->SetRecMark(0);
    ResetViewForSource();
    ClearBrowserList(TRUE);  // nothing of the lost source stays to be clicked
    m_bCsvDisabled = TRUE;
    if (m_bLargeVideo) SetLargeVideo(FALSE);
    if (m_bFullView) ApplyFullView(FALSE);
    UpdateControlStates();
    FinishSourceLoss();
}

void CsulvaneDlg::OnJobProgress(WPARAM done, LPARAM total) {
    if (!m_pProgress) return;
    m_pProgress->SetPos(total <= 0 ? 100 : int(std::clamp<long long>(
                                               (long long)(done) * 100 / (long long)(total), 0, 100)));
    m_pProgress->update();
}

void CsulvaneDlg::OnPreviewFile(int, const sFILEENTRY& entry) { PlayPreviewOf(entry.path); }

void CsulvaneDlg::OnFilterButton(int kind) {
    if (kind < 0 || kind >= kRecordingKindCount) return;
    CSkinButton* filter = m_pFiler->GetFilterButton(kind);
    if (!filter) return;
    m_pFiler->SetFilterButton(kind, !filter->IsLatched());
    FollowRefilteredList();
}

void CsulvaneDlg::OnVideoClick(int surface, POINT point) {
    if (surface < 0 || surface > 1 || !m_aMovieStatic[std::size_t(surface)].m_bLargeVideo) return;
    sVIEWRECORD& view = m_aView[surface];
    view.clickX = point.x;
    view.clickY = point.y;
    const float zoom = NextZoomFactor(view.zoomFactor);
    if (zoom <= 1.0f) {
        ResetViewBlocks();
    } else {
        view.zoomFactor = zoom;
        view.zoomCentreX = point.x;
        view.zoomCentreY = point.y;
    }
    m_pRoad->ApplyView(TRUE);
}

void CsulvaneDlg::OnVideoDblClk(int surface) {
    // The rear surface brings the map back over itself, switched on as by the map button.
    if (surface == 1) {
        if (!m_bFullView) ShowMapOverRear();
        return;
    }
    if (surface != 0 || m_bLargeVideo) return;
    const bool allowed = IsValidRow(0) && m_pRoad->DataLoaded() && !m_bControlsLocked;
    if (!FullViewToggleAllowed(m_bFullView, m_pRoad->CurrentFrame(), m_pRoad->FrameCount())) return;
    if (allowed || m_bFullView) ApplyFullView(!m_bFullView);
}

MovieMenuState CsulvaneDlg::VideoMenuState() const {
    const FrontChannel front = m_pRoad->Front();
    return MovieMenuState{int(front.state), front.initialised, front.speedStep, m_bFullView != FALSE, m_nLayoutMode,
                          front.keepAspect};
}

BOOL CsulvaneDlg::VideoMenuRefused() const {
    return m_bCleanedUp || m_pRoad->NearEndLocked() || m_pRoad->Busy() ? TRUE : FALSE;
}

void CsulvaneDlg::OnVideoContextMenu(POINT screenPoint, int) {
    if (VideoMenuRefused()) return;
    const MovieMenuState state = VideoMenuState();
    MovieMenuItem chosen;
    {
        CMovieMenu menu(m_bFullView, this);
        switch (state.playState) {
        case PLAY_PLAYING: menu.BuildPlayingMenu(82, m_bFullView, m_nLayoutMode, state.speedStep, state.keepAspect); break;
        case PLAY_PAUSED: menu.BuildPausedMenu(83, m_bFullView, m_nLayoutMode, state.keepAspect); break;
        case PLAY_STOPPED: menu.BuildStoppedMenu(m_bFullView, m_nLayoutMode, state.keepAspect); break;
        default: menu.BuildNoMovieMenu(m_nLayoutMode); break;
        }
        chosen = menu.ItemOf(menu.exec(QPoint(screenPoint.x, screenPoint.y)));
    }
    // The menu is closed and gone, its loop ended: the command runs as a button's would. That
    // loop served the window meanwhile: the window may have been closed, an open begun, the
    // end of the movie come near, or the movie paused or stopped, and then the choice made
    // before runs nothing.
    if (VideoMenuRefused() || !MovieMenuOffers(VideoMenuState(), chosen)) return;
    OnCommand(chosen.id);
}

void CsulvaneDlg::UpdateControlStates() {
    ControlInputs in;
    in.rowCount = RowCount();
    in.currentRow = m_pRoad->CurrentRow();
    in.sourceKind = m_pFiler->GetSourceKind();
    in.limitedModel = g_bLimitedModel;
    const FrontChannel front = m_pRoad->Front();
    in.playState = int(front.state);
    in.speedStep = front.speedStep;
    // The road's own flag: it is set before the channels take the data, so the buttons
    // that act on a loaded movie are enabled by the update that the load itself runs.
    in.dataLoaded = front.initialised && m_pRoad->DataLoaded();
    in.csvDisabled = m_bCsvDisabled;
    in.lastOpenFailed = m_pRoad->OpenFailed();
    ApplyControlStates(orv::UpdateControlStates(in));
}

void CsulvaneDlg::DisableAllControls() { ApplyControlStates(orv::DisableAllControls()); }

void CsulvaneDlg::EnableIdleControls() {
    ControlInputs in;
    in.rowCount = RowCount();
    in.currentRow = m_pRoad->CurrentRow();
    in.lastOpenFailed = m_pRoad->OpenFailed();
    ApplyControlStates(orv::EnableIdleControls(in));
}

void CsulvaneDlg::ApplyControlStates(const ControlStates& states) {
    for (int i = 0; i < kTransportButtonCount; ++i)
        if (CSkinButton* button = m_apTransport[std::size_t(i)]) button->setEnabled(states.transport[std::size_t(i)]);
    for (CSkinButton* button : m_apTitle)
        if (button) button->setEnabled(states.titleButtons);
    m_pInfoDlg->setEnabled(states.panes);
    m_pFiler->EnableBrowserControls(states.panes);
}

}  // namespace orv
