// A device of the event engine for tests: a real WebSocket client that registers and sends
// events, and waits for the engine's one answer to each message.
#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QTcpSocket>
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
    QJsonObject reg(const QString& name, int type = 0, const QString& password = QString()) {
        QJsonObject o{{"msg", "register"}, {"name", name}, {"type", type}};
        if (!password.isNull()) o.insert("password", password);
        return sendJson(o);
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

// A device that speaks WebSocket over a plain TCP socket of a chosen loopback source address
// (127.0.0.2 ...), so that a test can be several peers at once; it may also just sit idle.
class RawDevice {
public:
    // Binds its socket; connects at once unless told to wait for connectNow().
    RawDevice(quint16 port, const QHostAddress& from, bool connect = true) : m_port(port) {
        m_socket.bind(from);
        if (connect) connectNow();
    }
    void connectNow() { m_socket.connectToHost(QHostAddress::LocalHost, m_port); }
    // Connects and upgrades; false when the engine did not take the connection.
    bool handshake(int ms = 5000) {
        if (!vt::WaitUntil([this] { return m_socket.state() == QAbstractSocket::ConnectedState; }, ms))
            return false;
        m_socket.write("GET / HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_port) +
                       "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                       "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        int end = -1;
        vt::WaitUntil(
            [&] {
                m_buffer += m_socket.readAll();
                end = m_buffer.indexOf("\r\n\r\n");
                return end >= 0 || m_socket.state() != QAbstractSocket::ConnectedState;
            },
            ms);
        if (end < 0 || !m_buffer.startsWith("HTTP/1.1 101")) return false;
        m_buffer.remove(0, end + 4);
        return true;
    }
    void sendText(const QByteArray& payload) {
        QByteArray frame;
        frame.append(char(0x81));
        if (payload.size() < 126) {
            frame.append(char(0x80 | payload.size()));
        } else {
            frame.append(char(0x80 | 126));
            frame.append(char(payload.size() >> 8)).append(char(payload.size() & 0xFF));
        }
        const char mask[4] = {0x11, 0x22, 0x33, 0x44};
        frame.append(mask, 4);
        for (int i = 0; i < payload.size(); ++i) frame.append(char(payload[i] ^ mask[i % 4]));
        m_socket.write(frame);
    }
    // Reads what has come: text messages are kept, a close frame marks the device closed.
    void poll() {
        m_buffer += m_socket.readAll();
        while (m_buffer.size() >= 2) {
            const int opcode = uchar(m_buffer[0]) & 0x0F;
            int len = uchar(m_buffer[1]) & 0x7F, head = 2;
            if (len == 126) {
                if (m_buffer.size() < 4) return;
                len = (uchar(m_buffer[2]) << 8) | uchar(m_buffer[3]);
                head = 4;
            }
            if (m_buffer.size() < head + len) return;
            const QByteArray payload = m_buffer.mid(head, len);
            m_buffer.remove(0, head + len);
            if (opcode == 0x8) m_closing = true;
            if (opcode == 0x1) m_replies << QJsonDocument::fromJson(payload).object();
        }
    }
    // The next text message as JSON (empty when none came in time or the connection closed).
    QJsonObject next(int ms = 5000) {
        vt::WaitUntil(
            [&] {
                poll();
                return !m_replies.isEmpty() || closed();
            },
            ms);
        return m_replies.isEmpty() ? QJsonObject() : m_replies.takeFirst();
    }
    QJsonObject send(const QByteArray& payload, int ms = 5000) {
        sendText(payload);
        return next(ms);
    }
    QJsonObject reg(const QString& name, int type = 0, const QString& password = QString()) {
        QJsonObject o{{"msg", "register"}, {"name", name}, {"type", type}};
        if (!password.isNull()) o.insert("password", password);
        return send(QJsonDocument(o).toJson(QJsonDocument::Compact));
    }
    // The engine sent its close frame or ended the connection.
    bool closed() { return m_closing || m_socket.state() == QAbstractSocket::UnconnectedState; }
    bool waitClosed(int ms = 10000) {
        return vt::WaitUntil(
            [this] {
                poll();
                return closed();
            },
            ms);
    }
    // Messages received and not yet taken by next().
    const QList<QJsonObject>& replies() const { return m_replies; }
    QTcpSocket& socket() { return m_socket; }

private:
    quint16 m_port;
    QTcpSocket m_socket;
    QByteArray m_buffer;
    QList<QJsonObject> m_replies;
    bool m_closing = false;
};

}  // namespace eventtest
