#include "filer/FileListCtrl.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <QScrollBar>
#include <QStandardItemModel>

#include <algorithm>
#include <climits>
#include <mutex>

#include "filer/FileListOwner.h"
#include "filer/FolderTreeCtrl.h"
#include "recorder/FolderScan.h"
#include "platform/gdi/DeviceContext.h"
#include "platform/media/VideoFrameSink.h"
#include "playback/preview/MFSession.h"
#include "ui/ScaleFonts.h"
#include "ui/Scaled.h"
#include "ui/text/UiText.h"

namespace orv {

namespace {

constexpr int kHoverMs = 100;
constexpr int kRowHeight = 20;  // design pixels

}  // namespace

COLORREF FileRowFill(RecordingKind kind, bool current) {
    const bool impact = kind == REC_IMPACT || kind == REC_PARKING_IMPACT;
    if (current) return impact ? RGB(178, 178, 142) : RGB(178, 178, 178);
    return impact ? RGB(255, 255, 204) : RGB(255, 255, 255);
}

SIZE PreviewPopupSize() {
    const int width = Scaled(220);
    return SIZE{width, (width * 9) / 16};
}

QPoint PlacePreviewPopup(const QRect& list, int rowTop, int rowBottom, QSize popup, const QRect& screen,
                         const std::vector<QRect>& keepClear) {
    const int y = std::max(list.top(), std::min((rowTop + rowBottom - popup.height()) / 2,
                                                list.top() + list.height() - popup.height()));
    QPoint at(list.left() + list.width(), y);
    if (at.x() + popup.width() <= screen.left() + screen.width()) return at;
    at.setX(list.left() - popup.width());
    for (bool moved = true; moved;) {
        moved = false;
        for (const QRect& clear : keepClear) {
            if (!QRect(at, popup).intersects(clear)) continue;
            at.setX(clear.left() - popup.width());
            moved = true;
        }
    }
    // No room on either side: over the list's right part, on the screen.
    if (at.x() < screen.left()) at.setX(screen.left() + screen.width() - popup.width());
    return at;
}

// ---- CTipWindow -------------------------------------------------------------------------

CTipWindow::CTipWindow()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("TipWindow"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The presenter's thread hands pictures over; the popup takes them on its own thread.
    SetVideoFrameSink(GetSafeHwnd(), [this](const QImage& frame, const RECT&) {
        QMetaObject::invokeMethod(this, [this, frame] {
            m_frame = frame;
            ++m_nFrames;
            update();
        }, Qt::QueuedConnection);
    });
}

CTipWindow::~CTipWindow() { SetVideoFrameSink(GetSafeHwnd(), nullptr); }

void CTipWindow::OnAppMessage(unsigned msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_USER_PREVIEW_EVENT) return;
    // Only the live session's events: a message may outlive the session that sent it,
    // and then its event is freed here.
    if (wParam != 0 && g_pPreviewSession && reinterpret_cast<CMFSession*>(wParam) == g_pPreviewSession)
        g_pPreviewSession->HandleEvent(lParam);
    else
        (void)TakePayload(PayloadTicket(lParam));
}

void CTipWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!m_frame.isNull()) painter.drawImage(rect(), m_frame);
}

// ---- CFileListCtrl ------------------------------------------------------------------------

CFileListCtrl::CFileListCtrl(QWidget* parent)
    : QAbstractScrollArea(parent), m_hMutexCache(OpenNamedMutex("hMutexCache")) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    m_hoverTimer.setSingleShot(true);
    m_hoverTimer.setInterval(kHoverMs);
    QObject::connect(&m_hoverTimer, &QTimer::timeout, this, [this] { OnMouseHover(); });
    QObject::connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(), [this] {
        viewport()->update();
        // Other rows lie under the pointer now: the preview of the one it left goes, and the
        // row the pointer rests on is previewed once the scrolling stops.
        if (m_nHoverRow >= 0) StopPreview();
        if (viewport()->underMouse()) m_hoverTimer.start();
    });
    CreateTipWindow();
    UpdateScrollBars();
}

CFileListCtrl::~CFileListCtrl() {
    // The session plays into the popup: it ends first.
    m_pPreviewSession.reset();
    // Destroyed, not just hidden: nothing of the popup outlives the list.
    delete m_hTipWnd;
    m_hTipWnd = nullptr;
}

void CFileListCtrl::CreateTipWindow() {
    m_hTipWnd = new CTipWindow();
    m_hTipWnd->hide();
    const SIZE size = PreviewPopupSize();
    m_hTipWnd->resize(size.cx, size.cy);
    m_pPreviewSession = std::make_unique<CPreviewSessionHolder>(m_hTipWnd->GetSafeHwnd());
}

void CFileListCtrl::InsertColumns() {
    if (!m_pHeader) {
        m_pHeader = new CFileListHeaderCtrl(this);
        auto* model = new QStandardItemModel(0, 2, m_pHeader);
        model->setHorizontalHeaderLabels({QString::fromUtf8(UiText(23)), QString::fromUtf8(UiText(27))});
        m_pHeader->setModel(model);
        m_pHeader->resizeSection(0, 140);
        m_pHeader->resizeSection(1, 50);
        m_pHeader->hide();  // the list has no visible column header
    }
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Window, Qt::white);
    viewport()->setPalette(palette);
    viewport()->setAutoFillBackground(true);
}

void CFileListCtrl::RefillList() {
    // The rows change under a preview that shows.
    if (m_nHoverRow >= 0) StopPreview();
    std::lock_guard lock(*m_hMutexCache);
    std::vector<sFILEENTRY> shown;
    FilterEntriesByKind(m_vecEntries, shown, m_bFilter);
    m_vecShown = std::move(shown);
    DeleteAllItems();
    m_rows.reserve(m_vecShown.size());
    for (const sFILEENTRY& entry : m_vecShown) m_rows.push_back(MakeListDisplayName(entry.path));
    UpdateScrollBars();
    viewport()->update();
}

// ---- the entries --------------------------------------------------------------------------

int CFileListCtrl::RowCount() const {
    std::lock_guard lock(*m_hMutexCache);
    return int(m_vecShown.size());
}

std::optional<sFILEENTRY> CFileListCtrl::EntryAt(int row) const {
    std::lock_guard lock(*m_hMutexCache);
    if (row < 0 || std::size_t(row) >= m_vecShown.size()) return std::nullopt;
    return m_vecShown[std::size_t(row)];
}

std::vector<sFILEENTRY> CFileListCtrl::CopyOfRows() const {
    std::lock_guard lock(*m_hMutexCache);
    return m_vecShown;
}

std::vector<sFILEENTRY> CFileListCtrl::CopyOfFolder() const {
    std::lock_guard lock(*m_hMutexCache);
    return m_vecEntries;
}

int CFileListCtrl::RowOf(const std::string& path) const {
    std::lock_guard lock(*m_hMutexCache);
    const auto it = std::find_if(m_vecShown.begin(), m_vecShown.end(), [&](const sFILEENTRY& e) { return e.path == path; });
    return it == m_vecShown.end() ? -1 : int(it - m_vecShown.begin());
}

sFILEENTRY* CFileListCtrl::ShownEntryOf(int row, const std::string& path) {
    if (row < 0 || std::size_t(row) >= m_vecShown.size()) return nullptr;
    sFILEENTRY& entry = m_vecShown[std::size_t(row)];
    return entry.path == path ? &entry : nullptr;
}

bool CFileListCtrl::SetEntryQuality(int row, const std::string& path, int quality) {
    std::lock_guard lock(*m_hMutexCache);
    sFILEENTRY* entry = ShownEntryOf(row, path);
    if (!entry) return false;
    entry->sortKey2 = quality;
    return true;
}

bool CFileListCtrl::SetEntryStartTime(int row, const std::string& path, const SYSTEMTIME& start, float fps) {
    std::lock_guard lock(*m_hMutexCache);
    sFILEENTRY* entry = ShownEntryOf(row, path);
    if (!entry) return false;
    entry->startTime = start;
    entry->sortKey3 = fps;
    return true;
}

void CFileListCtrl::MarkJoined(const std::vector<sFILEENTRY>& chosen, bool joined) {
    std::lock_guard lock(*m_hMutexCache);
    if (joined) SetJoinMarks(m_vecEntries, chosen, true);
    else ClearJoinMarks(m_vecEntries, chosen);
}

void CFileListCtrl::RemoveEntries(const std::vector<sFILEENTRY>& removed) {
    std::lock_guard lock(*m_hMutexCache);
    for (std::vector<sFILEENTRY>* entries : {&m_vecShown, &m_vecEntries}) {
        RemoveEntriesByName(*entries, removed);
        NumberEntries(*entries);
    }
}

void CFileListCtrl::SetEntries(std::vector<sFILEENTRY> entries) {
    std::lock_guard lock(*m_hMutexCache);
    m_vecEntries = std::move(entries);
}

void CFileListCtrl::ClearEntries() {
    std::lock_guard lock(*m_hMutexCache);
    m_vecShown.clear();
    DeleteAllItems();
    m_vecEntries.clear();
}

void CFileListCtrl::SetFilter(int kind, bool on) {
    if (kind >= 0 && kind < kRecordingKindCount) m_bFilter[kind] = on;
}

std::string CFileListCtrl::GetItemText(int row) const {
    return row >= 0 && row < GetItemCount() ? m_rows[std::size_t(row)] : std::string();
}

void CFileListCtrl::DeleteAllItems() {
    m_rows.clear();
    m_nSelected = -1;
    m_nSelectionMark = -1;
    verticalScrollBar()->setValue(0);
    UpdateScrollBars();
    viewport()->update();
}

int CFileListCtrl::RowHeight() const { return std::max(1, Scaled(kRowHeight)); }

void CFileListCtrl::RemeasureRows() {
    UpdateScrollBars();
    viewport()->update();
}

int CFileListCtrl::GetTopIndex() const { return verticalScrollBar()->value(); }

RECT CFileListCtrl::GetItemBounds(int row) const {
    if (row < 0 || row >= GetItemCount()) return RECT{};
    const int h = RowHeight();
    const int top = (row - GetTopIndex()) * h;
    // The two columns together: the first fills the width but 51 pixels, the second is 50.
    return RECT{0, top, std::max(0, viewport()->width() - 1), top + h};
}

int CFileListCtrl::HitTestRow(QPoint p) const {
    if (p.x() < 0 || p.y() < 0 || p.x() >= viewport()->width() || p.y() >= viewport()->height()) return -1;
    const int row = GetTopIndex() + p.y() / RowHeight();
    return row < GetItemCount() ? row : -1;
}

void CFileListCtrl::UpdateScrollBars() {
    const int count = GetItemCount();
    const int whole = std::max(1, viewport()->height() / RowHeight());
    verticalScrollBar()->setRange(0, std::max(0, count - whole));
    verticalScrollBar()->setPageStep(whole);
    verticalScrollBar()->setEnabled(count > 0);
}

void CFileListCtrl::SelectOnlyRow(int row) {
    const int previous = m_nSelected;
    const bool valid = row >= 0 && row < GetItemCount();
    m_nSelected = valid ? row : -1;
    m_nSelectionMark = valid ? row : -1;
    viewport()->update();
    // Every selected row first loses its selection, so selecting the selected row again
    // is reported too (the owner decides whether to open it once more).
    if (previous >= 0) OnItemChanged(previous, false);
    if (valid) OnItemChanged(row, true);
}

void CFileListCtrl::EnsureVisible(int row) {
    if (row < 0 || row >= GetItemCount()) return;
    const int h = RowHeight();
    const int whole = std::max(1, viewport()->height() / h);
    const int partial = (viewport()->height() + h - 1) / h;
    const int top = GetTopIndex();
    if (row < top) {
        verticalScrollBar()->setValue(row);
    } else if (row >= top + partial) {
        verticalScrollBar()->setValue(row - whole + 1);
    }
}

void CFileListCtrl::OnItemChanged(int row, bool selected) {
    std::lock_guard lock(*m_hMutexCache);
    if (!selected || !m_pOwner || row < 0 || std::size_t(row) >= m_vecShown.size()) return;
    if (row == m_pOwner->GetCurrentFileRow() && !m_pOwner->TakeReselectRequest()) return;
    // The owner keeps a copy: its selection may change the list.
    const sFILEENTRY entry = m_vecShown[std::size_t(row)];
    m_pOwner->OnFileRowSelected(row, entry);
}

// ---- painting -----------------------------------------------------------------------------

void CFileListCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), Qt::white);
    if (viewport()->rect().isEmpty()) return;
    const int h = RowHeight();
    const int last = std::min(GetItemCount(), GetTopIndex() + viewport()->height() / h + 2);
    for (int row = GetTopIndex(); row < last; ++row) DrawItem(painter, row);
}

void CFileListCtrl::DrawItem(QPainter& painter, int row) {
    if (!m_pHeader || std::size_t(row) >= m_vecShown.size()) return;
    const RECT b = GetItemBounds(row);
    const RecordingKind kind = GetRecordingKind(m_vecShown[std::size_t(row)].path);
    if (row == m_nCurrentRow) {
        painter.fillRect(QRect(0, b.top, b.right, b.bottom - b.top), ToQColor(FileRowFill(kind, true)));
    } else {
        painter.fillRect(QRect(b.left, b.top, b.right - b.left, b.bottom - b.top), ToQColor(FileRowFill(kind, false)));
    }
    // The frame of the bounds enlarged by one pixel to the right and at the bottom.
    painter.setPen(ToQColor(kFileRowFrame));
    painter.drawRect(QRect(b.left, b.top, b.right - b.left + 1, b.bottom - b.top + 1).adjusted(0, 0, -1, -1));
    painter.setPen(Qt::black);
    painter.setFont(g_hFont13 ? *g_hFont13 : font());
    const QRect text(b.left + Scaled(4), b.top, b.right - b.left - Scaled(4), b.bottom - b.top);
    const QString shown = painter.fontMetrics().elidedText(QString::fromStdString(m_rows[std::size_t(row)]),
                                                           Qt::ElideRight, text.width());
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

void CFileListCtrl::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

// ---- mouse and keys -----------------------------------------------------------------------

bool CFileListCtrl::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) OnMouseLeave();
    return QAbstractScrollArea::viewportEvent(event);
}

void CFileListCtrl::mousePressEvent(QMouseEvent* event) {
    m_bPressed = TRUE;
    StopPreview();
    if (event->button() == Qt::LeftButton) {
        const int row = HitTestRow(event->position().toPoint());
        if (row >= 0 && row != m_nSelected) SelectOnlyRow(row);
    }
}

void CFileListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    if (auto* parent = dynamic_cast<AppWindow*>(parentWidget()))
        PostAppMessage(parent->GetSafeHwnd(), WM_APP_FILELIST_DBLCLK, 0, 0);
    QAbstractScrollArea::mouseDoubleClickEvent(event);
}

void CFileListCtrl::mouseMoveEvent(QMouseEvent* event) {
    m_hoverTimer.start();
    if (HitTestRow(event->position().toPoint()) < 0) StopPreview();
}

void CFileListCtrl::leaveEvent(QEvent* event) {
    OnMouseLeave();
    QAbstractScrollArea::leaveEvent(event);
}

void CFileListCtrl::keyPressEvent(QKeyEvent* event) {
    int row = m_nSelected;
    switch (event->key()) {
    case Qt::Key_Up: row = std::max(0, row - 1); break;
    case Qt::Key_Down: row = std::min(GetItemCount() - 1, row + 1); break;
    case Qt::Key_Home: row = 0; break;
    case Qt::Key_End: row = GetItemCount() - 1; break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    if (row >= 0 && row != m_nSelected) {
        SelectOnlyRow(row);
        EnsureVisible(row);
    }
}

// ---- hover preview ------------------------------------------------------------------------

void CFileListCtrl::OnMouseHover() {
    if (!m_bPreviewEnabled) return;
    if (!UpdatePreview()) StopPreview();
}

void CFileListCtrl::OnMouseLeave() {
    m_hoverTimer.stop();
    StopPreview();
}

void CFileListCtrl::HidePopup() {
    if (m_hTipWnd) m_hTipWnd->hide();
}

void CFileListCtrl::StopPreview() {
    if (g_pPreviewSession) {
        if (g_pPreviewSession->IsPlaying()) g_pPreviewSession->Stop();
        g_pPreviewSession->Close();
    }
    HidePopup();
    m_rcHover = RECT{-1, -1, -1, -1};
    m_nHoverRow = -1;
}

BOOL CFileListCtrl::UpdatePreview() {
    const QPoint cursor = QCursor::pos();
    return UpdatePreviewAt(cursor, QApplication::widgetAt(cursor));
}

BOOL CFileListCtrl::UpdatePreviewAt(QPoint cursor, QWidget* under) {
    if (!under) return FALSE;
    const bool ours = under == this || under == viewport() || under == m_hTipWnd || isAncestorOf(under);
    const bool covered = !ours;
    const bool returning = m_bHoverSuppressed && !covered;
    if (GetItemCount() == 0) return FALSE;

    const QPoint local = viewport()->mapFromGlobal(cursor);
    const int h = RowHeight();
    const QRect whole(0, 0, viewport()->width(), viewport()->height() - viewport()->height() % h);
    int row = -1;
    for (int r = GetTopIndex(); r < GetItemCount(); ++r) {
        const RECT b = GetItemBounds(r);
        if (b.top > viewport()->height()) break;
        if (local.x() >= b.left && local.x() < b.right && local.y() >= b.top && local.y() < b.bottom) {
            row = r;
            break;
        }
    }
    if (row < 0) return FALSE;

    const RECT bounds = GetItemBounds(row);
    if (row == m_nHoverRow && bounds == m_rcHover && !covered && !returning) return TRUE;
    m_rcHover = bounds;
    m_nHoverRow = row;
    if (covered || !whole.contains(local)) {
        m_nHoverRow = -1;
        m_bHoverSuppressed = TRUE;
        if (g_pPreviewSession) {
            if (g_pPreviewSession->IsPlaying()) g_pPreviewSession->Stop();
            g_pPreviewSession->Close();
        }
        HidePopup();
        return FALSE;
    }
    m_bHoverSuppressed = FALSE;
    if (g_pPreviewSession && m_hTipWnd) {
        const SIZE size = PreviewPopupSize();
        const QPoint rowTop = viewport()->mapToGlobal(QPoint(0, bounds.top));
        const QPoint rowBottom = viewport()->mapToGlobal(QPoint(0, bounds.bottom));
        std::vector<QRect> keepClear;
        for (QWidget* widget : m_keepClear)
            if (widget && widget->isVisible()) keepClear.emplace_back(widget->mapToGlobal(QPoint(0, 0)), widget->size());
        const QScreen* display = screen();
        const QRect area = display ? display->availableGeometry() : QRect(QPoint(0, 0), QSize(INT_MAX / 2, INT_MAX / 2));
        const QPoint at = PlacePreviewPopup(QRect(mapToGlobal(QPoint(0, 0)), this->size()), rowTop.y(), rowBottom.y(),
                                            QSize(size.cx, size.cy), area, keepClear);
        m_hTipWnd->setGeometry(at.x(), at.y(), size.cx, size.cy);
        if (const std::optional<sFILEENTRY> entry = m_pOwner ? EntryAt(row) : std::nullopt) m_pOwner->OnPreviewFile(row, *entry);
        // Owned by the list's window: a window manager keeps it above that window in every
        // state, a maximised or full-screen one too, as it keeps an owned window above its owner.
        QWindow* owner = window()->windowHandle();
        m_hTipWnd->winId();
        if (owner && m_hTipWnd->windowHandle() && m_hTipWnd->windowHandle()->transientParent() != owner)
            m_hTipWnd->windowHandle()->setTransientParent(owner);
        m_hTipWnd->show();
        m_hTipWnd->raise();
    }
    return TRUE;
}

}  // namespace orv
