// The main window's remaining buttons and messages: speed steps, choosing a source, the
// settings, vehicle-gauge and map windows, the title bar's buttons, the update notice, and
// what the window does when its source goes away.
#include "app/window/CsulvaneDlgPanes.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>

#include <filesystem>

#include "app/settings/SettingDlg.h"
#include "app/window/SourcePath.h"
#include "recorder/RecordingName.h"
#include "ui/MsgBox.h"
#include "ui/text/UiText.h"

#include "filer/SourceOpenDlg.h"
#include "playback/preview/MFSession.h"
#include "app/update/InetConnectionAsync.h"
#include "app/update/UpdateDialog.h"

namespace orv {

namespace {

constexpr int kTextOpenFailed = 96;
constexpr int kTextUpdateTitle = 106;

}  // namespace

BOOL CsulvaneDlg::OnFurtherCommand(int id) {
    if (FilterKindOfCommand(id) >= 0) {
        OnFilterButton(FilterKindOfCommand(id));
        return TRUE;
    }
    switch (id) {
    case ID_PLAY_SLOW: OnSlower(); return TRUE;
    case ID_PLAY_FAST: OnFaster(); return TRUE;
    case ID_SNAPSHOT: OnSnapshot(); return TRUE;
    case ID_VIEW_LARGE_VIDEO: OnLargeVideo(); return TRUE;
    case ID_OPEN_SOURCE: OnBrowseSource(); return TRUE;
    case ID_SETTINGS: OnSettings(); return TRUE;
    case ID_OBD_WINDOW: OnObdWindow(); return TRUE;
    case ID_MAP_WINDOW: OnMapWindow(); return TRUE;
    case ID_KEEP_ASPECT: OnKeepAspect(); return TRUE;
    case IDC_BTN_MAXIMIZE: OnBtnMaximize(); return TRUE;
    case IDC_BTN_THUMBNAIL: OnBtnThumbnail(); return TRUE;
    default: return FALSE;
    }
}

BOOL CsulvaneDlg::OnFurtherAppMessage(unsigned msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_APP_APPBAR_NOTIFY: OnAppBarNotify(wParam); return TRUE;
    case WM_APP_PREVIEW_FILE: {
        // A row that the list no longer shows is ignored.
        const int row = int(std::min<WPARAM>(wParam, WPARAM(INT_MAX)));
        const std::optional<sFILEENTRY> entry = m_pFiler && m_pFiler->GetList() ? m_pFiler->GetList()->EntryAt(row) : std::nullopt;
        if (entry) OnPreviewFile(row, *entry);
        return TRUE;
    }
    case WM_APP_UPDATE_INFO: OnUpdateInfo(); return TRUE;
    default: return FALSE;
    }
}

// ---- choosing a source -----------------------------------------------------------------------

void CsulvaneDlg::OnBrowseSource() {
    CSourceOpenDlg dialog(this);
    dialog.SetOpenSource(m_pFiler->GetSourceKind(), m_pFiler->GetSourcePath());
    // The list and the movie stay as they are unless a source is chosen.
    const bool chosen = m_runSourceDialog ? m_runSourceDialog(dialog) : dialog.exec() == QDialog::Accepted;
    if (!chosen) {
        UpdateControlStates();
        return;
    }
    OpenChosenSource(dialog.GetSourceKind(), dialog.GetSourcePath());
}

BOOL CsulvaneDlg::OpenChosenSource(int kindValue, std::string path) {
    const SourceKind kind = SourceKind(kindValue);
    m_pRoad->PauseAndStop();
    m_pInfoDlg->SetRecMark('R');
    if (m_pInfoDlg->DataFormat() == '2' || m_pInfoDlg->DataFormat() == 'N')
        m_pInfoDlg->SetVehicleValues(-1, 0xFFFF, -1, 0);
    if (m_bLargeVideo) LeaveLargeVideo();
    m_bCsvDisabled = TRUE;
    ResetViewForSource();
    m_pFiler->SetContinue(FALSE);

    std::error_code error;
    const std::filesystem::path fsPath = std::filesystem::u8path(path);
    const bool exists = !path.empty() && std::filesystem::exists(fsPath, error);
    if (!path.empty() && (!exists || (kind == SOURCE_FILE && !IsRecorderMovieName(path)))) {
        ShowError(kTextOpenFailed);
        UpdateControlStates();
        return FALSE;
    }
    path = TrimTrailingSlash(path);
    m_pFiler->OpenSourcePath(path, kind);
    ApplyModelLimits();
    CheckParkingTrace();
    if (kind == SOURCE_FILE) {
        m_pRoad->ReleaseHeldData();
        SendCrashPositions(m_pRoad->CurrentRow(), TRUE);
    }
    m_bCsvDisabled = (kind == SOURCE_SD && RowCount() == 0) || kind == SOURCE_FOLDER || kind == SOURCE_FILE;
    UpdateControlStates();
    m_pFiler->update();
    return TRUE;
}

// ---- satellite windows -----------------------------------------------------------------------

void CsulvaneDlg::OnSettings() {
    if (!m_pSettingDlg) return;
    m_pSettingDlg->CenterOnMonitor();
    m_pSettingDlg->show();
    m_pSettingDlg->raise();
}

void CsulvaneDlg::OnObdWindow() {
    CSkinButton* button = m_apTransport[BTN_OBD_WINDOW];
    if (m_bObdShown) {
        m_pObdDlg->OnCancel();
        m_bObdShown = FALSE;
    } else {
        // Over the info panel and the graph, sized by the layout; it follows later layouts.
        const QRect place = ObdWindowRect();
        m_pObdDlg->SetOwner(GetSafeHwnd(), m_pImages.get());
        m_pObdDlg->OpenAt(place.x(), place.y(), place.width(), place.height());
        m_pObdDlg->show();
        m_bObdShown = TRUE;
    }
    if (button) {
        button->SetLatched(m_bObdShown);
        button->update();
    }
}

void CsulvaneDlg::OnMapWindow() {
    m_bMapShown = !m_bMapShown;
    if (CSkinButton* button = m_apTransport[BTN_MAP_WINDOW]) {
        button->SetLatched(m_bMapShown);
        button->update();
    }
    IInternetConnection& connection = m_pMapWrap->GetConnection();
    connection.SetMapEnabled(m_bMapShown);
    connection.ProbeConnection();
    // Switched off, a docked map goes back into its own window, where it comes back.
    if (!m_bMapShown) DockMapPane(FALSE);
    if (!m_bMapPlaced) {
        m_bMapPlaced = TRUE;
        PlaceMapBesideVideo();
    }
    if (m_bMapShown) m_pMapWindow->show();
    CheckGpsAtFrame();
    UpdateMapPane();
    m_pMapWindow->setVisible(m_bMapShown);
}

bool CsulvaneDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && (watched == m_pObdDlg.get() || watched == m_pMapWindow.get())) {
        // Judged once the main window has seen the rest of the same change: a window manager
        // minimises the main window before the windows it owns.
        QMetaObject::invokeMethod(this, [this] { FollowSatelliteStates(); }, Qt::QueuedConnection);
    }
    return QDialog::eventFilter(watched, event);
}

void CsulvaneDlg::FollowSatelliteStates() {
    // Minimised with the main window they come back with it.
    if (m_bCleanedUp || m_bMinimised || isMinimized()) return;
    const auto leaveMinimised = [](QWidget* window) {
        // Before it hides, so that it comes back a normal window (the window system would
        // map a hidden window that leaves the minimised state).
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    };
    if (m_bObdShown && m_pObdDlg->isMinimized()) {
        leaveMinimised(m_pObdDlg.get());
        OnObdWindow();
    }
    if (m_bMapShown && m_bMapInOwnWindow && m_pMapWindow->isMinimized()) {
        leaveMinimised(m_pMapWindow.get());
        OnMapWindow();
    }
}

void CsulvaneDlg::OnMapWindowClosed() {
    // The map window's own close box switches the map off exactly as the map button does.
    if (m_bMapShown) OnMapWindow();
}

void CsulvaneDlg::ShowMapOverRear() {
    if (m_bMapShown && m_pMapWindow->isVisible() && !m_pMapWindow->isMinimized()) return;
    DockMapPane(FALSE);
    if (!m_bMapShown) OnMapWindow();
    PlaceMapBesideVideo();
    m_pMapWindow->showNormal();
    m_pMapWindow->raise();
}

void CsulvaneDlg::OnBtnThumbnail() {
    CSkinButton* button = m_apTitle[3];
    const bool on = !(button && button->IsLatched());
    if (CFileListCtrl* list = m_pFiler->GetList()) list->EnablePreview(on);
    if (button) {
        button->SetLatched(on);
        button->repaint();
    }
    WriteThumbnail(on);
}

void CsulvaneDlg::OnUpdateInfo() {
    auto* checker = dynamic_cast<CInetConnectionAsync*>(&m_pMapWrap->GetConnection());
    if (!checker) return;
    // The notice belongs to the desktop, not to the main window.
    auto dialog = std::make_unique<CUpdateDialog>(nullptr);
    dialog->SetMessage(checker->GetResultText());
    dialog->setWindowTitle(QString::fromUtf8(UiText(kTextUpdateTitle)));
    dialog->show();
    m_pUpdateDlg = std::move(dialog);
}

// ---- enabling ----------------------------------------------------------------------------

void CsulvaneDlg::EnableBrowserButtons(BOOL on) {
    for (CSkinButton* button : m_apTitle)
        if (button) button->setEnabled(on);
    m_pFiler->EnableBrowserControls(on);
    m_pInfoDlg->setEnabled(on);
    m_pGraphDlg->setEnabled(on);
    if (m_pSeekSlider) m_pSeekSlider->EnableSlider(on);
    if (m_pVolumeSlider) m_pVolumeSlider->EnableSlider(on);
    for (CMovieStatic& surface : m_aMovieStatic) surface.setEnabled(on);
    if (QWidget* page = m_pMapWrap->GetHostWindow()) page->setEnabled(on);
    m_bControlsLocked = !on;
}

// ---- the hover preview -----------------------------------------------------------------------

void CsulvaneDlg::PlayPreviewOf(const std::string& path) {
    if (!g_pPreviewSession) return;
    if (g_pPreviewSession->IsPlaying()) g_pPreviewSession->Stop();
    g_pPreviewSession->Close();
    if (!g_pPreviewSession->OpenMovie(path)) return;
    // One still picture of the movie: started without looping and paused at once.
    g_pPreviewSession->Play(0);
    g_pPreviewSession->TogglePause();
}

// ---- a lost source -------------------------------------------------------------------------

std::uint64_t CsulvaneDlg::ProgramMediumDevice() {
    return MediumDevice(QCoreApplication::applicationFilePath().toStdString());
}

void CsulvaneDlg::FinishSourceLoss() {
    if (g_pPreviewSession) {
        if (g_pPreviewSession->IsPlaying()) g_pPreviewSession->Stop();
        g_pPreviewSession->Close();
    }
    // Only the loss of the medium the program itself runs from ends it; any other source
    // that goes away only clears the views.
    const std::string program = QCoreApplication::applicationFilePath().toStdString();
    if (!IsMediumGone(program, m_nProgramDevice)) return;
    CleanUp();
    QCoreApplication::exit(0);
}

}  // namespace orv
