#include "views/map/MovieDialog.h"

#include <QAbstractButton>
#include <QMouseEvent>

#include "platform/gdi/DeviceContext.h"
#include "ui/Scaled.h"
#include "ui/SkinButton.h"
#include "ui/text/UiText.h"

namespace orv {

namespace {

constexpr int kTitleHeight = 20;  // design pixels of the title strip

}  // namespace

CMovieDialog::CMovieDialog(HWND owner, QWidget* parent) : CSkinDialog(parent), m_hOwner(owner) {}

CMovieDialog::~CMovieDialog() = default;

BOOL CMovieDialog::OnInitDialog() {
    CSkinDialog::OnInitDialog();
    CreateCloseButton(kCloseCommand);
    // The close button ends the dialog only after telling the main window.
    if (CSkinButton* close = GetCloseButton()) {
        close->disconnect(this);
        connect(close, &QAbstractButton::clicked, this, [this] { OnBtnClose(); });
    }
    m_framePen = QPen(QColor(207, 207, 207), int(g_fScale));
    m_bPen = TRUE;
    return TRUE;
}

void CMovieDialog::Post(unsigned msg) const {
    if (m_hOwner) PostAppMessage(m_hOwner, msg, 0, 0);
}

void CMovieDialog::SetCaptionText(int textIndex) {
    setWindowTitle(QString::fromUtf8(UiText(textIndex)));
    repaint();
}

void CMovieDialog::MoveWindow(int x, int y, int width, int height) {
    // The size is the program's: fixed, so that neither the user nor the window manager
    // can change it.
    setFixedSize(width, height);
    move(x, y);
    m_rcMinMax = QRect(x, y, width, height);
}

void CMovieDialog::OnBtnClose() {
    Post(WM_APP_MAPWND_CLOSE);
    done(IDCANCEL);
}

void CMovieDialog::reject() { OnBtnClose(); }

void CMovieDialog::OnLButtonDblClk(POINT point) {
    if (point.y < Scaled(kTitleHeight)) Post(WM_APP_MAPWND_TITLE_DBLCLK);
}

void CMovieDialog::paintEvent(QPaintEvent*) {
    DeviceContext dc(this);
    if (m_bPen) {
        // The frame around the client area; the inside is left to the panes.
        dc.SelectPen(m_framePen);
        dc.SelectBrush(QBrush(Qt::NoBrush));
        dc.Rectangle(RECT{0, 0, width(), height()});
    }
    DrawTitleBar(dc);
    Post(WM_APP_MAPWND_PAINT);
}

void CMovieDialog::resizeEvent(QResizeEvent* event) {
    CSkinDialog::resizeEvent(event);
    RepositionCloseButton();
    update();
}

void CMovieDialog::moveEvent(QMoveEvent* event) {
    CSkinDialog::moveEvent(event);
    if (isVisible()) m_rcLast = frameGeometry();
}

void CMovieDialog::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    OnLButtonDblClk(POINT{p.x(), p.y()});
    CSkinDialog::mouseDoubleClickEvent(event);
}

}  // namespace orv
