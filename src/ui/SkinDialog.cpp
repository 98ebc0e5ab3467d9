#include "ui/SkinDialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "ui/Scaled.h"
#include "ui/SkinButton.h"

namespace orv {

namespace {

constexpr int kTitleHeight = 20;
constexpr int kTopRows = 6;         // above the caption band: client area
constexpr int kCaptionBottom = 24;  // the caption band ends here
constexpr int kCloseRight = 20;     // close button's left edge, from the right edge
constexpr int kCloseTop = 4;
constexpr int kCloseWidth = 13;
constexpr int kCloseHeight = 12;
constexpr int kCloseStrip = 352;
constexpr int kMaxTitle = 260;  // longest window text drawn, in characters

// The title text's box.
constexpr int kTitleTextLeft = 5;
constexpr int kTitleTextRight = 200;
constexpr int kTitleTextBottom = 100;

POINT ToPoint(const QPointF& p) {
    const QPoint q = p.toPoint();
    return POINT{q.x(), q.y()};
}

bool IsEnterOrEscape(const QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

}  // namespace

CSkinDialog::CSkinDialog(QWidget* parent) : QDialog(parent) {
    // Key presses reach the focused control before the dialog; the application's filter
    // sees them first, as a message loop's pre-translation does.
    qApp->installEventFilter(this);
}

CSkinDialog::~CSkinDialog() = default;

BOOL CSkinDialog::OnInitDialog() {
    RemoveBorder();
    return TRUE;
}

void CSkinDialog::RemoveBorder() {
    if (!(windowFlags() & Qt::FramelessWindowHint)) setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
}

void CSkinDialog::setVisible(bool visible) {
    if (visible && !m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

BOOL CSkinDialog::PreTranslateMessage(const QEvent* event) { return IsEnterOrEscape(event) ? TRUE : FALSE; }

bool CSkinDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if ((widget == this || isAncestorOf(widget)) && PreTranslateMessage(event)) return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CSkinDialog::accept() { done(IDOK); }

void CSkinDialog::reject() { done(IDCANCEL); }

void CSkinDialog::OnCloseButton() { reject(); }

void CSkinDialog::CreateCloseButton(int id) {
    if (m_pCloseButton) {
        RepositionCloseButton();
        return;
    }
    m_pCloseButton = new CSkinButton(this);
    m_pCloseButton->SetDlgCtrlID(id);
    connect(m_pCloseButton, &QAbstractButton::clicked, this, [this] { OnCloseButton(); });
    PlaceCloseButton();
    m_pCloseButton->show();
}

void CSkinDialog::RepositionCloseButton() {
    if (m_pCloseButton) PlaceCloseButton();
}

void CSkinDialog::PlaceCloseButton() {
    const int w = Scaled(kCloseWidth);
    const int h = Scaled(kCloseHeight);
    m_pCloseButton->setGeometry(width() - Scaled(kCloseRight), Scaled(kCloseTop), w, h);
    const RECT frame{0, 0, w, h};
    m_pCloseButton->SetImage(kCloseStrip, &frame);
}

void CSkinDialog::DrawTitleBar(DeviceContext& dc) {
    dc.FillRect(RECT{0, 0, width(), Scaled(kTitleHeight)}, STOCK_GRAY);
    QFont* oldFont = dc.SelectFont(g_hFont10);
    dc.SetBkMode(TRANSPARENT);
    RECT text{Scaled(kTitleTextLeft), 0, Scaled(kTitleTextRight), Scaled(kTitleTextBottom)};
    dc.DrawText(windowTitle().left(kMaxTitle), &text, 0);
    dc.SelectFont(oldFont);
}

void CSkinDialog::OnPaint() {
    DeviceContext dc(this);
    DrawTitleBar(dc);
}

void CSkinDialog::paintEvent(QPaintEvent*) { OnPaint(); }

int CSkinDialog::OnNcHitTest(POINT point) const {
    // The window's top edge on the screen (a frameless window's top is its client top).
    const int top = isWindow() ? frameGeometry().top() : mapToGlobal(QPoint(0, 0)).y();
    if (point.y < top + Scaled(kTopRows)) return HTCLIENT;
    if (point.y < top + Scaled(kCaptionBottom)) return HTCAPTION;
    return HTCLIENT;
}

void CSkinDialog::OnLButtonDown(POINT point) {
    if (point.y >= Scaled(kTitleHeight)) return;
    m_nDragStartX = point.x;
    m_nDragStartY = point.y;
    m_bDragging = TRUE;
}

void CSkinDialog::OnMouseMove(POINT point) {
    if (!m_bDragging) return;
    // The window follows the mouse, so the grabbed client point stays where it was.
    move(pos() + QPoint(point.x - m_nDragStartX, point.y - m_nDragStartY));
}

void CSkinDialog::OnLButtonUp(POINT) { m_bDragging = FALSE; }

void CSkinDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        // A new press (the second of a double click comes here too, by Qt's own double-click
        // handler): a drag before it whose release never came (the button let go over another
        // window, or while a modal dialog held the mouse) is over.
        EndDrags();
        // The caption band is the window system's to move the window by, once the press is
        // a drag: a click, and so a double click, stays the dialog's.
        if (OnNcHitTest(ToPoint(event->globalPosition())) == HTCAPTION) {
            m_caption.Press(event->globalPosition().toPoint());
            event->accept();
            return;
        }
        OnLButtonDown(ToPoint(event->position()));
    }
    QDialog::mousePressEvent(event);
}

void CSkinDialog::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || !m_caption.Drag(event->globalPosition().toPoint()))
        OnMouseMove(ToPoint(event->position()));
    QDialog::mouseMoveEvent(event);
}

void CSkinDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_caption.End();
        OnLButtonUp(ToPoint(event->position()));
    }
    QDialog::mouseReleaseEvent(event);
}

void CSkinDialog::hideEvent(QHideEvent* event) {
    EndDrags();
    QDialog::hideEvent(event);
}

void CSkinDialog::EndDrags() {
    m_caption.End();
    m_bDragging = FALSE;
}

}  // namespace orv
