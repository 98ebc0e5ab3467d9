// The program's object in the map page, published to it as "sample".
//
// The page calls into the program without waiting for an answer, so everything it reads
// while it draws is published here as a property that the page reads from its own copy:
// the connection state, the map library's and the tiles' addresses, the current frame,
// both tracks, the event marker names and the UI texts. Whoever changes a value bumps
// `serial`; the page acknowledges each serial once its copy holds that state, and the
// program holds back scripts until the state they read has arrived (CWebView2Holder).
//
// Tracks travel as base64 of the values as 64-bit floats in the machine's byte order (the
// page runs on the same machine and reads them with a Float64Array).
#pragma once

#include <functional>

#include <QObject>
#include <QString>
#include <QStringList>

#include "views/map/HostWebViewFuncs.h"

namespace orv {

class HostWebViewObject : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool connected READ connected NOTIFY connectedChanged)
    Q_PROPERTY(QString mapUrl READ mapUrl CONSTANT)
    Q_PROPERTY(QString tileUrl READ tileUrl CONSTANT)
    Q_PROPERTY(QString relJpgNum READ relJpgNum NOTIFY relJpgNumChanged)
    Q_PROPERTY(QString gpsData READ gpsData NOTIFY gpsDataChanged)
    Q_PROPERTY(QString gridData READ gridData NOTIFY gridDataChanged)
    Q_PROPERTY(QStringList markNames READ markNames CONSTANT)
    Q_PROPERTY(QStringList rcStrings READ rcStrings CONSTANT)
    Q_PROPERTY(int serial READ serial NOTIFY serialChanged)

public:
    // Runs a callable later on the UI thread.
    using CallbackRunner = std::function<void(std::function<void()>)>;

    // `funcs` (the bridge, not owned) may be null: the page's calls then do nothing.
    HostWebViewObject(IHostWebViewFuncs* funcs, CallbackRunner runner, QObject* parent = nullptr);

    bool connected() const { return m_bConnected; }
    QString mapUrl() const { return m_strMapUrl; }
    QString tileUrl() const { return m_strTileUrl; }
    QString relJpgNum() const { return m_strRelJpgNum; }
    QString gpsData() const { return m_strGpsData; }
    QString gridData() const { return m_strGridData; }
    QStringList markNames() const { return m_markNames; }
    QStringList rcStrings() const { return m_rcStrings; }
    int serial() const { return m_nSerial; }

    // The program's side: new values for the page. Each returns the serial that the page
    // acknowledges once it holds the value.
    int PublishTracks(const TrackArray* gps, const TrackArray& grid);
    int PublishFrame();

    static QString EncodeTrack(const TrackArray& track);

    // Calls from the page.
    Q_INVOKABLE QString TestMethod(const QString& stringParameter, int integerParameter);
    // The program answers with callbackRequested(callbackId) once the UI thread is free.
    Q_INVOKABLE void CallCallbackAsynchronously(int callbackId);
    // Asks the program for the connection state; `connected` follows.
    Q_INVOKABLE void JS2C_ConnectTest();
    Q_INVOKABLE void JS2C_OnClickCrashPoint(int ifile, int igrid, int ipos, int valid, double lat, double lng,
                                            double speed, double direction);
    Q_INVOKABLE void JS2C_OnInitHtml();
    Q_INVOKABLE void JS2C_SetSend();
    Q_INVOKABLE void Acknowledge(int serial);
    Q_INVOKABLE void PostWebMessage(const QString& json);

signals:
    void connectedChanged();
    void relJpgNumChanged();
    void gpsDataChanged();
    void gridDataChanged();
    void serialChanged();
    // To the page.
    void webMessage(const QString& json);
    void callbackRequested(int callbackId);
    // To the program.
    void acknowledged(int serial);
    void webMessageReceived(const QString& json);

private:
    int Bump();

    IHostWebViewFuncs* m_pFuncs;
    CallbackRunner m_runner;
    bool m_bConnected = false;
    QString m_strMapUrl;
    QString m_strTileUrl;
    QString m_strRelJpgNum;
    QString m_strGpsData;
    QString m_strGridData;
    QStringList m_markNames;
    QStringList m_rcStrings;
    int m_nSerial = 0;
};

}  // namespace orv
