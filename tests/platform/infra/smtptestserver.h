// A real SMTP server for tests (aiosmtpd under the system interpreter), started on a free
// loopback port, with what it received.
#pragma once

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QVariantMap>
#include "testsupport.h"

class SmtpTestServer {
public:
    ~SmtpTestServer() { Stop(); }

    // user empty: no login asked; cert/key given: STARTTLS required (or TLS at once with implicitTls). False
    // when it did not start.
    bool Start(const QString& user = QString(), const QString& password = QString(),
               const QString& cert = QString(), const QString& key = QString(), bool implicitTls = false) {
        m_port = vt::ReservePort();
        QStringList args{Script(), QString::number(m_port), m_dir.filePath("mail.jsonl")};
        if (!user.isEmpty()) args << "--user" << user << "--password" << password;
        if (!cert.isEmpty()) args << "--cert" << cert << "--key" << key;
        if (implicitTls) args << "--implicit-tls";
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start("/usr/bin/python3", args);
        if (!m_process.waitForStarted(10000)) return false;
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(30000)) return false;
        return m_process.readLine().trimmed() == "READY";
    }

    void Stop() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) m_process.kill();
        m_process.waitForFinished(5000);
    }

    quint16 Port() const { return m_port; }

    // Every delivered message: "from", "to" (list) and "data" (the whole message).
    QList<QVariantMap> Messages() const {
        QList<QVariantMap> out;
        QFile f(m_dir.filePath("mail.jsonl"));
        if (!f.open(QIODevice::ReadOnly)) return out;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (!line.trimmed().isEmpty()) out << QJsonDocument::fromJson(line).object().toVariantMap();
        return out;
    }

    // SMTP_CAPTURE_SCRIPT: the script's path, given by the test's build rule.
    static QString Script() { return QStringLiteral(SMTP_CAPTURE_SCRIPT); }

    // A self-signed certificate for 127.0.0.1 in dir (cert.pem, key.pem); false when openssl failed.
    static bool MakeCertificate(const QString& dir) {
        QProcess p;
        p.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                            "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                            dir + "/key.pem", "-out", dir + "/cert.pem"});
        return p.waitForFinished(60000) && p.exitCode() == 0;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};
