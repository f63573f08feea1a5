// A started engine over the demo storage (made by the demo script with the ffmpeg tool), and a
// plain HTTP/1.1 client on a socket that sends exactly the bytes a test gives it.
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "LumoSRecord/LumoSRecord.h"

struct HttpAnswer {
    int status = 0;
    QMap<QByteArray, QByteArray> headers;  // lower-case names
    QByteArray body;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

// Sends `request` as it stands and reads the answer until the server closes the connection.
inline HttpAnswer RawHttp(quint16 port, const QByteArray& request, int waitMs = 10000) {
    HttpAnswer a;
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(3000)) return a;
    s.write(request);
    s.waitForBytesWritten(3000);
    QByteArray data;
    QElapsedTimer t;
    t.start();
    while (s.state() == QAbstractSocket::ConnectedState && t.elapsed() < waitMs) {
        s.waitForReadyRead(200);
        data += s.readAll();
    }
    data += s.readAll();
    const int end = data.indexOf("\r\n\r\n");
    if (end < 0) return a;
    const QList<QByteArray> lines = data.left(end).split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    a.status = first.value(1).toInt();
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines[i].indexOf(':');
        if (colon > 0)
            a.headers[lines[i].left(colon).trimmed().toLower()] = lines[i].mid(colon + 1).trimmed();
    }
    a.body = data.mid(end + 4);
    return a;
}

inline QByteArray Request(const QByteArray& method, const QByteArray& path,
                          const QByteArray& body = QByteArray(),
                          const QByteArray& extraHeaders = QByteArray()) {
    QByteArray r =
        method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + extraHeaders;
    if (!body.isNull())
        r += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    return r + "\r\n" + body;
}

class DemoEngine {
public:
    // Makes the demo storage in `dir`, initialises and starts the engine on a free port, and waits
    // until its first search has the files. Empty text, or why it could not.
    QString Start(const QString& dir) {
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            return "the ffmpeg tool is not installed";
        const QString script = qEnvironmentVariable("VANTEL_SOURCE_DIR") + "/scripts/make_demo_storage.sh";
        if (!QFileInfo::exists(script)) return "VANTEL_SOURCE_DIR does not lead to the scripts";
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("bash"), {script, dir});
        if (!p.waitForFinished(180000) || p.exitCode() != 0)
            return "demo script: " + QString::fromUtf8(p.readAll());
        m_dir = dir;
        LumoSRSetStorageConfig((dir + "/kestostorage.ini").toUtf8().constData());
        if (LumoSRInitialize(nullptr) != 0) return "initialise failed";
        if (LumoSRStart(0) != 0) return "start failed";
        // The first search waits for the engine's first reading (slow under the sanitizers).
        for (int tries = 0; tries < 60; ++tries) {
            IVantelList* rows = nullptr;
            const int rc = LumoSRGetFileInfo(nullptr, &AllParam(), &rows, 5000);
            const int n = rows ? rows->GetCount() : 0;
            if (rows) rows->Release();
            if (rc == 0 && n > 0) return QString();
        }
        return "the demo files never showed up in a search";
    }
    void Stop() {
        LumoSRStop();
        LumoSRInvalidate();
    }
    quint16 Port() const { return LumoSRGetPort(); }
    QByteArray Url(const QByteArray& account = QByteArray()) const {
        return "lumofs://" + (account.isEmpty() ? QByteArray() : account + "@") +
               "127.0.0.1:" + QByteArray::number(Port()) + "/media";
    }
    QString Dir() const { return m_dir; }
    QString SecurityFile() const { return m_dir + "/kestosecurity.xml"; }

    // Every file of the last day, on every channel of both streams.
    static ILumoFSSearchParam& AllParam() {
        static ILumoFSSearchParam p = [] {
            ILumoFSSearchParam q(1);
            CLumoTime from = CLumoTime::Now();
            from.Add(-24 * 3600 * 1000LL);
            CLumoTime to = CLumoTime::Now();
            to.Add(3600 * 1000LL);
            q.SetTimeS(from);
            q.SetTimeE(to);
            q.SetChannelMask(0, ~0ull);
            q.SetChannelMask(1, ~0ull);
            q.SetMediaType(1);
            return q;
        }();
        return p;
    }

private:
    QString m_dir;
};
