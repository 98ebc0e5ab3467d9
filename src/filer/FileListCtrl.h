// The list of recordings in the file browser, and the hover popup that previews them.
//
// CFileListCtrl shows one owner-drawn row per recording of the open folder that passes the
// seven kind filters, in the order of the folder scan. Selecting a row makes it the
// owner's current recording. While the mouse rests on a row, a small borderless popup
// ("TipWindow") left of the list plays that recording, silently, through the preview
// session (g_pPreviewSession). UI thread only.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "filer/FileRows.h"
#include "platform/base/AppMessage.h"
#include "platform/base/NamedMutex.h"
#include "platform/base/WinTypes.h"
#include "platform/window/AppWindow.h"
#include "recorder/FileEntry.h"
#include "recorder/RecordingName.h"

namespace orv {

class IFileListOwner;
class CFileListHeaderCtrl;
class CPreviewSessionHolder;

// Row fills, COLORREF: impact kinds get the warm shades, all others the neutral ones.
COLORREF FileRowFill(RecordingKind kind, bool current);
constexpr COLORREF kFileRowFrame = RGB(136, 136, 136);

// The popup's size: trunc(220 s) wide, 9/16 of that high.
SIZE PreviewPopupSize();

// Where the popup goes (screen coordinates): beside the list's window `list`, centred on the
// row but kept within the list's height, so that it never lies over what stands above or
// below the list (the filter toggles). Right of the list where `screen` has room, else left
// of it and further left past each of `keepClear` (the folder tree) that it would cover there.
QPoint PlacePreviewPopup(const QRect& list, int rowTop, int rowBottom, QSize popup, const QRect& screen,
                         const std::vector<QRect>& keepClear);

// The borderless popup the preview plays in: black, with the newest picture of the
// session drawn over it. Session events posted to its handle are handed to the session.
class CTipWindow : public QWidget, public AppWindow {
public:
    CTipWindow();
    ~CTipWindow() override;

    // The newest picture presented into the popup (null before the first).
    QImage LastFrame() const { return m_frame; }
    // Pictures presented since the popup was made.
    int FrameCount() const { return m_nFrames; }

protected:
    void OnAppMessage(unsigned msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_frame;
    int m_nFrames = 0;
};

class CFileListCtrl : public QAbstractScrollArea, public IFileRows {
public:
    explicit CFileListCtrl(QWidget* parent = nullptr);
    ~CFileListCtrl() override;

    // The hidden header with its two owner-drawn columns; the row height; a white ground.
    void InsertColumns();

    // m_vecShown = the entries of m_vecEntries that pass the filters; one row each.
    void RefillList();

    // --- entries (IFileRows) -------------------------------------------------------------
    int RowCount() const override;
    std::optional<sFILEENTRY> EntryAt(int row) const override;
    std::vector<sFILEENTRY> CopyOfRows() const override;
    std::vector<sFILEENTRY> CopyOfFolder() const override;
    bool SetEntryQuality(int row, const std::string& path, int quality) override;
    bool SetEntryStartTime(int row, const std::string& path, const SYSTEMTIME& start, float fps) override;
    void MarkJoined(const std::vector<sFILEENTRY>& chosen, bool joined) override;
    void RemoveEntries(const std::vector<sFILEENTRY>& removed) override;

    // The recordings of the open folder, in the order of the scan; the rows follow at the
    // next RefillList.
    void SetEntries(std::vector<sFILEENTRY> entries);
    // Empties the rows and the entries behind them.
    void ClearEntries();
    // The row that shows the recording of `path`; -1 when none does.
    int RowOf(const std::string& path) const;
    // The filter of a RecordingKind: its recordings are shown (from the next RefillList).
    void SetFilter(int kind, bool on);
    // The owner (the main window) that the list reports selections and hovers to.
    void SetOwner(IFileListOwner* owner) { m_pOwner = owner; }

    // --- rows --------------------------------------------------------------------------
    int GetItemCount() const { return int(m_rows.size()); }
    std::string GetItemText(int row) const;
    void DeleteAllItems();
    int RowHeight() const;
    // The rows are measured again after a change of scale: the scroll range counts whole
    // rows of the viewport.
    void RemeasureRows();
    // The row's bounds in viewport coordinates (empty for no row).
    RECT GetItemBounds(int row) const;
    // The row under a viewport point, counting only whole rows of the viewport; -1 for none.
    int HitTestRow(QPoint viewportPoint) const;
    // Makes the row the only selected and focused row and the selection mark (-1 clears
    // the selection). A row that becomes selected is reported through OnItemChanged.
    void SelectOnlyRow(int row);
    int GetSelectedRow() const { return m_nSelected; }
    int GetSelectionMark() const { return m_nSelectionMark; }
    // Scrolls so that the row is visible; a partly visible row counts as visible.
    void EnsureVisible(int row);
    int GetTopIndex() const;

    // A row's selection changed to `selected`: when it became selected and differs from
    // the owner's current row, or the owner asked for a reselect, the owner opens it.
    // Runs under "hMutexCache".
    void OnItemChanged(int row, bool selected);

    // --- hover preview -----------------------------------------------------------------
    // Shows the popup over the row under `cursor` (screen coordinates), `under` being the
    // window there. FALSE when no preview shows.
    BOOL UpdatePreviewAt(QPoint cursor, QWidget* under);
    BOOL UpdatePreview();
    void StopPreview();
    // The hover timer fired (the mouse rested 100 ms).
    void OnMouseHover();
    void OnMouseLeave();
    CTipWindow* GetTipWindow() const { return m_hTipWnd; }
    BOOL IsHoverSuppressed() const { return m_bHoverSuppressed; }
    // The row the popup previews; -1 while none does.
    int GetHoverRow() const { return m_nHoverRow; }
    // Controls beside the list that the popup must never cover (the pane's tree and toggles).
    void SetPreviewKeepClear(std::vector<QWidget*> widgets) { m_keepClear = std::move(widgets); }

    // The bounds of the row whose preview shows; (-1, -1, -1, -1) while none does.
    RECT GetHoverRect() const { return m_rcHover; }

    // The row drawn as the current recording (-1 for none).
    void SetCurrentRow(int row) { m_nCurrentRow = row; }
    int GetCurrentRow() const { return m_nCurrentRow; }
    // Whether resting the mouse on a row previews it.
    void EnablePreview(BOOL on) { m_bPreviewEnabled = on; }
    BOOL IsPreviewEnabled() const { return m_bPreviewEnabled; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    // Shown entry `row`, when it shows `path`; null otherwise. Under "hMutexCache".
    sFILEENTRY* ShownEntryOf(int row, const std::string& path);

    // The list's own, guarded by "hMutexCache": all recordings of the open folder, and
    // those that pass the filters (row i shows entry i).
    std::vector<sFILEENTRY> m_vecEntries;
    std::vector<sFILEENTRY> m_vecShown;
    bool m_bFilter[kRecordingKindCount] = {};
    NamedMutexHandle m_hMutexCache;
    IFileListOwner* m_pOwner = nullptr;
    CTipWindow* m_hTipWnd = nullptr;
    RECT m_rcHover{-1, -1, -1, -1};
    BOOL m_bPressed = FALSE;

    void CreateTipWindow();
    void DrawItem(QPainter& painter, int row);
    void UpdateScrollBars();
    void HidePopup();

    std::vector<std::string> m_rows;
    int m_nCurrentRow = -1;
    BOOL m_bPreviewEnabled = TRUE;
    CFileListHeaderCtrl* m_pHeader = nullptr;
    int m_nSelected = -1;
    int m_nSelectionMark = -1;
    BOOL m_bHoverSuppressed = FALSE;
    int m_nHoverRow = -1;
    std::vector<QWidget*> m_keepClear;
    // Holds g_pPreviewSession when this list made it (empty when another list had made one).
    std::unique_ptr<CPreviewSessionHolder> m_pPreviewSession;
    QTimer m_hoverTimer;
};

}  // namespace orv
