#include "views/map/GoogleMapDlg2.h"

#include <QResizeEvent>
#include <QShowEvent>

namespace orv {

CGoogleMapDlg2::CGoogleMapDlg2(IHostWebViewFuncs* funcs, QWidget* parent) : QWidget(parent), m_pFuncs(funcs) {
    setAttribute(Qt::WA_NoSystemBackground);
    // Hidden until the bridge shows the page (ShowMap): the map window shown without its page,
    // offline, starts no browser.
    hide();
}

CGoogleMapDlg2::~CGoogleMapDlg2() { m_holder.CloseWebView(); }

void CGoogleMapDlg2::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The browser is made when the window is shown; a host that is never shown never
    // starts one, nor loads the web engine.
    if (!m_holder.m_bEnvCreated) m_holder.CreateEnvironment(this, GetSafeHwnd(), m_pFuncs);
}

void CGoogleMapDlg2::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_holder.Resize();
}

void CGoogleMapDlg2::OnAppMessage(unsigned msg, WPARAM wParam, LPARAM) {
    if (msg == WM_APP_RUN_ASYNC) RunPostedCallback(PayloadTicket(wParam));
}

}  // namespace orv
