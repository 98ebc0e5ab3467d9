// The file-browser pane of the main window: the folder tree of the open source, the list
// of its recordings, seven kind toggles with their labels, and the count of listed files.
// It opens a source (a removable drive, a folder or one movie file), fills the tree and
// the list from the folder scan, picks the recorder's movie and date folder, restores the
// last source at start-up, gathers all files of the source for the long jobs, and
// identifies the recorder on the card for the update check.
//
// The main window owns it, creates its controls, lays it out and tells it the layout, the
// zoom mode and whether a selection continues playback. UI thread only; the folder watcher reports to the owner.
#pragma once

#include <QBrush>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/base/AppMessage.h"
#include "platform/base/WinTypes.h"
#include "filer/RecordingBrowser.h"
#include "platform/window/AppWindow.h"
#include "recorder/FileEntry.h"
#include "recorder/FolderScan.h"
#include "recorder/FolderTree.h"
#include "recorder/MovieResource.h"
#include "recorder/RecordingName.h"
#include "ui/ResourceImage.h"

class QPainter;

namespace orv {

class CFileListCtrl;
class CFolderTreeCtrl;
class CResourceImage;
class CSkinButton;
class DeviceContext;
class IFileListOwner;

// Control ids of the pane.
constexpr int IDC_FOLDER_TREE = 38300;
constexpr int IDC_PATH_EDIT = 38500;
constexpr int IDC_FILE_LIST = 1001;
constexpr int IDC_FILTER_FIRST = 38700;  // + RecordingKind

// g_bLimitedModel (ui/ResourceImage.h) is set by IdentifyRecorder when the card belongs to
// the model whose recorder has no alert or vehicle functions.

// The recorder's firmware version "%d.%d.%d" of the three two-digit numbers of a data
// header's version field; empty when they are not digits.
std::string FormatRecorderVersion(const char version[6]);

// The recorder number "%06d" of the six characters behind the end marker; empty when they
// are all blanks or no number.
std::string FormatRecorderNumber(const std::uint8_t* trailer, std::size_t size);

// The download shortcuts of the recorder models, probed in this order at the card's root.
inline constexpr std::array<const char*, 6> kModelShortcutKeys = {
    "KM3CA_download", "KM3C_download", "KM2B_download", "KM1A_download", "KM4D_download", "KM5E_download"};
inline constexpr const char* kLimitedModelKey = "KM5E_download";

class CFilerContainerDlg : public QWidget, public AppWindow, public IRecordingBrowser {
public:
    explicit CFilerContainerDlg(QWidget* parent = nullptr);
    ~CFilerContainerDlg() override;

    // Creates the tree, the list, the path field and the seven toggles (all filters on).
    BOOL CreateControls(IFileListOwner* owner);

    void ShowBrowserControls(BOOL show);
    // Lay the pane out in its client rectangle, which `rc` receives; nothing moves when
    // it is empty. Each follows the current scale: the controls get the shared fonts and
    // the tree's and the list's rows are measured again.
    void LayoutSideBySide(RECT* rc);
    void LayoutStacked(RECT* rc);

    // The first child of `parent`, in tree order, whose text matches `pattern` (ECMAScript)
    // as a whole, ignoring case; kFolderTreeRoot when none does. Every child is tried: a
    // card's "Config" folder sorts before "Normal" and must not hide the recordings.
    FolderTreeItem FindTreeChildByPattern(FolderTreeItem parent, const std::string& pattern) const;
    // The item SelectRecorderFolder selects: the movie folder's first date group, else the
    // movie folder, else the first top-level item.
    FolderTreeItem RecorderFolderTarget() const;
    BOOL SelectRecorderFolder();

    void DrawFileCount(QPainter& painter);
    void DrawBackground(QPainter& painter);
    void DrawFilterLabels(QPainter& painter);
    // Places the toggles for the current layout and scale; a toggle whose picture was made
    // for another scale gets it again at its new size.
    void PlaceFilterButtons();
    BOOL GetFilterOrigin(RECT* out, int dx, int dy, int w, int h) const;

    // Start-up: the last removable drive, else the remembered folder, else the remembered
    // movie. TRUE when a source was opened.
    BOOL InitFromDefaultFolder(const RECT* unused = nullptr);
    // Starts reading the source that InitFromDefaultFolder is going to open on a thread of its
    // own, while the window is still being made: that opening then reads only what changed
    // since. InitFromDefaultFolder (or the end of the pane) waits for the thread.
    void PrefetchDefaultSource();
    void JoinSourcePrefetch();
    // Opens a source into the tree and the list. A folder that holds a movie folder of a
    // card layout is browsed like a card's root (IsCardRootSource).
    void OpenSourcePath(std::string path, SourceKind kind);
    // Opens the folder of a tree item into the list. TRUE when it holds recordings.
    BOOL OpenTreeItem(FolderTreeItem item, int reserved = 0, BOOL noCountRedraw = FALSE);
    void SelectFileRow(int row, BOOL cont) override;
    // Every movie of the source, gathered afresh for a long job.
    std::vector<sFILEENTRY> GatherSourceFiles();
    void SetFilterButton(int kind, BOOL on);
    // Enables or disables the tree, the list and the toggles. The one of them that had the
    // keyboard when they were disabled has it again when they are enabled, unless the
    // keyboard went elsewhere meanwhile: the arrows walk the list through every open.
    void EnableBrowserControls(BOOL enable);
    void IdentifyRecorder(const std::string& root);
    // Empties the tree, the list and the path field (the source is gone).
    void ClearBrowser();
    // Empties the list alone: its rows and the entries behind them.
    void ClearList();

    CFolderTreeCtrl* GetTree() const { return m_pTree; }
    CFileListCtrl* GetList() const { return m_pList; }

    // The browser as playback uses it.
    IFileRows* Rows() override;
    void SetCurrentRow(int row) override;
    void MakeOnlyRowCurrent(int row) override;
    FolderTreeItem SelectedFolder() const override;
    FolderTreeItem NextFolder(FolderTreeItem item) const override;
    void SelectFolder(FolderTreeItem item) override;
    BOOL OpenFolder(FolderTreeItem item) override { return OpenTreeItem(item); }
    QLineEdit* GetPathEdit() const { return m_pPathEdit; }
    CSkinButton* GetFilterButton(int kind) const;
    CMovieResource& GetWatcher() { return m_watcher; }
    // Whether the row being selected is row 0 of a list just refilled by a filter change,
    // which is opened even when it is the owner's current row; cleared by this read.
    BOOL TakeRefilter() override;
    BOOL IsClearing() const { return m_bClearing; }
    // Whether the open source holds a movie folder of a card layout.
    BOOL IsRecorderFolder() const { return m_bRecorderFolder; }
    // Whether the open source is browsed as a card from its root: a removable drive, or a
    // folder that holds a movie folder of a card layout (a card copied into a folder).
    BOOL IsCardRootSource() const;
    // Redraws the count of listed files (nothing in zoom mode).
    void RedrawFileCount();

    // 0 side by side, 1 stacked, 2 pane hidden.
    void SetLayout(int layout) { m_nLayout = layout; }
    int GetLayout() const { return m_nLayout; }
    // Whether the selection being made continues playback from the last one (SelectFileRow's
    // `cont`); read and cleared by the owner when it opens the row.
    void SetContinue(BOOL cont) { m_bContinue = cont; }
    BOOL TakeContinue() override { return std::exchange(m_bContinue, FALSE); }
    // Zoom mode: the tree, the list and the toggles hidden, the zoom hint drawn instead.
    void SetHideControls(BOOL hide) { m_bHideControls = hide; }
    BOOL GetHideControls() const { return m_bHideControls; }
    // The main window's image store (not owned); null draws no zoom hint.
    void SetImages(CResourceImage* images) { m_pImages = images; }

    // The open source: its kind and path.
    SourceKind GetSourceKind() const override { return m_nSourceKind; }
    const std::string& GetSourcePath() const override { return m_strSourcePath; }
    // Whether the whole pane is hidden.
    BOOL IsPaneHidden() const { return m_bHidden; }
    // The recorder on the card (IdentifyRecorder): its firmware version, its number and the
    // name of the model's download shortcut; each empty when unknown.
    const std::string& GetRecorderVersion() const { return m_strVersion; }
    const std::string& GetRecorderNumber() const { return m_strNumber; }
    const std::string& GetModelKey() const { return m_strModelKey; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    IFileListOwner* m_pOwner = nullptr;
    RECT m_rcClient{};
    BOOL m_bHidden = FALSE;
    std::vector<sFILEENTRY> m_vecSourceFiles;
    SourceKind m_nSourceKind = SOURCE_NONE;
    std::vector<sFILEENTRY> m_vecFolders;
    // What opening the source read of it, kept for the one folder opening that follows (the
    // folder the source opens at), which then reads none of it again unless it changed.
    std::unique_ptr<ScanFacts> m_pSourceFacts;
    // The start-up source read ahead, and which one it is.
    std::thread m_sourcePrefetch;
    std::unique_ptr<ScanFacts> m_pPrefetchedFacts;
    std::string m_strPrefetchedPath;
    std::string m_strVersion;
    std::string m_strNumber;
    std::string m_strModelKey;
    std::string m_strSourcePath;

    int m_nLayout = 0;
    BOOL m_bContinue = FALSE;
    BOOL m_bHideControls = FALSE;
    CResourceImage* m_pImages = nullptr;

    void ApplyScale();

    QBrush m_brFrame;
    QBrush m_brDark;
    QLineEdit* m_pPathEdit = nullptr;
    CFolderTreeCtrl* m_pTree = nullptr;
    CFileListCtrl* m_pList = nullptr;
    CMovieResource m_watcher;
    BOOL m_bClearing = FALSE;
    BOOL m_bRefilter = FALSE;
    BOOL m_bRecorderFolder = FALSE;
    CSkinButton* m_apFilter[kRecordingKindCount] = {};
    // The control that had the keyboard when the controls were disabled; the pane itself
    // holds the keyboard in its place until they are enabled again.
    QPointer<QWidget> m_pFocusBack;
};

}  // namespace orv
