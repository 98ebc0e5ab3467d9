#include "app/update/UpdateDialog.h"

#include <QDesktopServices>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QUrl>

#include "app/update/VersionFile.h"
#include "ui/CommonUtil.h"
#include "ui/Scaled.h"
#include "ui/text/UiText.h"

namespace orv {

namespace {

// Design pixels.
constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kMargin = 10;
constexpr int kLinkTop = 30;
constexpr int kLinkBottomRoom = 80;  // below the message: the button strip
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 30;
constexpr int kButtonBottom = 40;  // the button's top, from the bottom edge
constexpr int kStripHeight = 50;   // the bottom strip keeps the dialog's own colour

constexpr int kTextTitle = 106;

}  // namespace

CUpdateDialog::CUpdateDialog(QWidget* parent, std::string updateHost)
    : CSkinDialog(parent),
      m_strUpdateHost(updateHost.empty() ? ORV_UPDATE_HOST : std::move(updateHost)),
      m_pLink(new QLabel(this)),
      m_pOk(new QPushButton(QStringLiteral("OK"), this)),
      m_pCancel(new QPushButton(QStringLiteral("閉じる"), this)),
      m_brWhite(Qt::white) {
    m_pLink->setObjectName(QStringLiteral("UpdateMessage"));
    m_pCancel->setObjectName(QStringLiteral("CloseButton"));
    m_pLink->setTextFormat(Qt::RichText);
    m_pLink->setWordWrap(true);
    m_pLink->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pLink->setOpenExternalLinks(false);
    m_pLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    m_pLink->setAutoFillBackground(false);  // transparent over the white page
    m_pOk->setDefault(true);
    m_pOk->hide();
    connect(m_pLink, &QLabel::linkActivated, this, [this](const QString& url) { OnLinkClick(url); });
    connect(m_pCancel, &QPushButton::clicked, this, [this] { OnBnClickedCancel(); });
}

BOOL CUpdateDialog::OnInitDialog() {
    CSkinDialog::OnInitDialog();
    const int w = Scaled(kWidth);
    const int h = Scaled(kHeight);
    RECT monitor;
    const QPoint corner = pos();
    if (GetMonitorRects(nullptr, &monitor, POINT{corner.x(), corner.y()}))
        move(monitor.left + (monitor.right - monitor.left - w) / 2, monitor.top + (monitor.bottom - monitor.top - h) / 2);
    ApplyFontAndSize();
    setWindowTitle(QString::fromUtf8(UiText(kTextTitle)));
    Relayout();
    return TRUE;
}

void CUpdateDialog::ApplyFontAndSize() {
    if (g_hFont9) {
        for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(m_pLink),
                           static_cast<QWidget*>(m_pCancel)})
            w->setFont(*g_hFont9);
    }
    // The user cannot change the size.
    setFixedSize(Scaled(kWidth), Scaled(kHeight));
}

void CUpdateDialog::FollowScale() {
    const QPoint centre = geometry().center();
    ApplyFontAndSize();
    move(centre.x() - width() / 2, centre.y() - height() / 2);
    Relayout();
    update();
}

void CUpdateDialog::SetMessage(const std::string& message) {
    m_pLink->setText(QString::fromStdString(LinkMarkupToHtml(message).html));
}

void CUpdateDialog::Relayout() {
    const int W = width();
    const int H = height();
    m_pLink->setGeometry(Scaled(kMargin), Scaled(kLinkTop), W - Scaled(2 * kMargin), H - Scaled(kLinkBottomRoom));
    m_pCancel->setGeometry(W - Scaled(kMargin) - Scaled(kButtonWidth), H - Scaled(kButtonBottom), Scaled(kButtonWidth),
                           Scaled(kButtonHeight));
    RememberWindowRect();
    RepositionCloseButton();
}

void CUpdateDialog::RememberWindowRect() {
    if (isMinimized()) return;
    m_rcWindow = WindowRectOf(this);
}

void CUpdateDialog::OnLinkClick(const QString& url) {
    // The message's links are built by the program; anything else in it is not followed.
    if (!IsUpdatePageUrl(url.toStdString(), m_strUpdateHost)) return;
    QDesktopServices::openUrl(QUrl(url));
}

void CUpdateDialog::OnBnClickedCancel() {
    m_bClosed = TRUE;
    CSkinDialog::reject();
}

BOOL CUpdateDialog::PreTranslateMessage(const QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<const QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        OnBnClickedCancel();
        return TRUE;
    }
    return CSkinDialog::PreTranslateMessage(event);
}

void CUpdateDialog::accept() {}

void CUpdateDialog::reject() { OnBnClickedCancel(); }

void CUpdateDialog::paintEvent(QPaintEvent*) {
    // White behind the message; the bottom strip with the button keeps the dialog's colour.
    QPainter painter(this);
    painter.fillRect(QRect(0, 0, width(), height() - Scaled(kStripHeight)), m_brWhite);
}

void CUpdateDialog::resizeEvent(QResizeEvent* event) {
    CSkinDialog::resizeEvent(event);
    RememberWindowRect();
}

}  // namespace orv
