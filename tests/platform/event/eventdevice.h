// A device of the event engine for tests: a real WebSocket client that registers and sends
// events, and waits for the engine's one answer to each message.
#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QTest>
#include <QWebSocket>

#include "testsupport.h"

namespace eventtest {

// A tiny but complete JPEG marker frame: start of image ... end of image.
inline QByteArray fakeJpeg(int size = 64) {
    QByteArray b(size, 'x');
    b[0] = char(0xFF);
    b[1] = char(0xD8);
    b[2] = char(0xFF);
    b[size - 2] = char(0xFF);
    b[size - 1] = char(0xD9);
    return b;
}

class Device {
public:
    explicit Device(quint16 port) {
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, [this](const QString& t) {
            m_replies << QJsonDocument::fromJson(t.toUtf8()).object();
        });
        m_socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(port)));
    }
    bool waitConnected() { return waitState(QAbstractSocket::ConnectedState); }
    // Sends and waits for the one answer (an empty object when none came).
    QJsonObject send(const QByteArray& text) {
        const int before = m_replies.size();
        m_socket.sendTextMessage(QString::fromUtf8(text));
        vt::WaitUntil(
            [&] { return m_replies.size() != before || m_socket.state() != QAbstractSocket::ConnectedState; },
            15000);
        return m_replies.size() > before ? m_replies.last() : QJsonObject();
    }
    QJsonObject sendJson(const QJsonObject& o) {
        return send(QJsonDocument(o).toJson(QJsonDocument::Compact));
    }
    QJsonObject reg(const QString& name, int type = 0) {
        return sendJson({{"msg", "register"}, {"name", name}, {"type", type}});
    }
    QJsonObject event(const QString& text, const QByteArray& jpeg = QByteArray()) {
        QJsonObject o{{"msg", "event"}, {"time", "2026-01-02T03:04:05"}, {"kind", "motion"}, {"text", text}};
        if (!jpeg.isEmpty()) o.insert("picture", QString::fromLatin1(jpeg.toBase64()));
        return sendJson(o);
    }
    bool waitClosed() { return waitState(QAbstractSocket::UnconnectedState); }
    bool waitState(QAbstractSocket::SocketState state) {
        return vt::WaitUntil([&] { return m_socket.state() == state; }, 15000);
    }
    QWebSocket& socket() { return m_socket; }

private:
    QWebSocket m_socket;
    QList<QJsonObject> m_replies;
};

}  // namespace eventtest
