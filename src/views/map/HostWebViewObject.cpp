#include "views/map/HostWebViewObject.h"

#include <QByteArray>
#include <QPointer>

#include "ui/text/UiText.h"
#include "views/EventClassification.h"
#include "views/map/MapConfig.h"

namespace orv {

HostWebViewObject::HostWebViewObject(IHostWebViewFuncs* funcs, CallbackRunner runner, QObject* parent)
    : QObject(parent), m_pFuncs(funcs), m_runner(std::move(runner)) {
    m_strTileUrl = QString::fromStdString(MapTileUrl());
    const TrackArray empty{0.0};
    m_strGpsData = m_strGridData = EncodeTrack(empty);
    m_strRelJpgNum = QStringLiteral("-1");
    if (!m_pFuncs) return;
    m_strMapUrl = QString::fromStdString(m_pFuncs->GetMapURL());
    m_strRelJpgNum = QString::fromStdString(m_pFuncs->GetRelJpgNum());
    m_bConnected = m_pFuncs->ConnectTest() != FALSE;
    for (int kind = 0; kind < EVENT_KIND_COUNT; ++kind) m_markNames << QString::fromStdString(m_pFuncs->GetMarkName(kind));
    for (int id = 0; id < kUiTextCount; ++id) m_rcStrings << QString::fromStdString(m_pFuncs->GetRcString(id));
}

QString HostWebViewObject::EncodeTrack(const TrackArray& track) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(track.data()),
                                                     qsizetype(track.size() * sizeof(double)));
    return QString::fromLatin1(bytes.toBase64());
}

int HostWebViewObject::Bump() {
    ++m_nSerial;
    emit serialChanged();
    return m_nSerial;
}

int HostWebViewObject::PublishTracks(const TrackArray* gps, const TrackArray& grid) {
    if (gps) {
        m_strGpsData = EncodeTrack(*gps);
        emit gpsDataChanged();
    }
    m_strGridData = EncodeTrack(grid);
    emit gridDataChanged();
    return Bump();
}

int HostWebViewObject::PublishFrame() {
    if (!m_pFuncs) return m_nSerial;
    const QString frame = QString::fromStdString(m_pFuncs->GetRelJpgNum());
    if (frame == m_strRelJpgNum) return m_nSerial;
    m_strRelJpgNum = frame;
    emit relJpgNumChanged();
    return Bump();
}

QString HostWebViewObject::TestMethod(const QString& stringParameter, int integerParameter) {
    return QStringLiteral("TestMethod(%1, %2) called.\n").arg(stringParameter).arg(integerParameter);
}

void HostWebViewObject::CallCallbackAsynchronously(int callbackId) {
    if (!m_runner) return;
    QPointer<HostWebViewObject> self(this);
    m_runner([self, callbackId] {
        if (self) emit self->callbackRequested(callbackId);
    });
}

void HostWebViewObject::JS2C_ConnectTest() {
    if (!m_pFuncs) return;
    const bool connected = m_pFuncs->ConnectTest() != FALSE;
    if (connected == m_bConnected) return;
    m_bConnected = connected;
    emit connectedChanged();
    Bump();
}

void HostWebViewObject::JS2C_OnClickCrashPoint(int ifile, int igrid, int ipos, int valid, double lat, double lng,
                                               double speed, double direction) {
    if (m_pFuncs) m_pFuncs->OnClickCrashPoint(ifile, igrid, ipos, valid, lat, lng, speed, direction);
}

void HostWebViewObject::JS2C_OnInitHtml() {
    if (m_pFuncs) m_pFuncs->OnInitHtml();
}

void HostWebViewObject::JS2C_SetSend() {
    if (m_pFuncs) m_pFuncs->SetSend();
}

void HostWebViewObject::Acknowledge(int serial) { emit acknowledged(serial); }

void HostWebViewObject::PostWebMessage(const QString& json) { emit webMessageReceived(json); }

}  // namespace orv
