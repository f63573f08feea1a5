// LumoCSmtp: sends one mail through an SMTP server (plain, SSL or STARTTLS) with libcurl on a
// worker thread and reports the outcome once through SignalStatus.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>

class LumoCSmtp : public QObject {
    Q_OBJECT
public:
    enum Security { SecurityNone = 0, SecuritySsl = 1, SecurityStartTls = 2 };
    // Status values of SignalStatus besides libcurl's own (positive) error numbers.
    enum Status {
        StatusSent = 0,
        StatusLoginDenied = -1,  // the server refused the account or password
        StatusBadInput = -2,     // a CR or LF in a header field, no recipient, no server or no sender
        StatusBusy = -3,         // a mail of this sender is still on its way
    };

    // No Qt parent is needed: the receiver of SignalStatus releases the sender it names.
    LumoCSmtp(const QString& server, const QString& user, const QString& password, quint16 port,
              char security, QObject* parent = nullptr);
    // Stops a mail still on its way (the transfer is aborted) and waits for the worker.
    ~LumoCSmtp() override;

    // Hands the mail to the worker: `to` is a ";"-separated list whose empty items are skipped.
    // 0 when it was handed over; otherwise the refusal's status, which SignalStatus reports as
    // well (queued), so every call ends in exactly one report.
    int SendMail(const QString& from, const QString& to, const QString& subject, const QString& body);

    // The recipients of a ";"-separated list, trimmed, empty items left out.
    static QStringList SplitRecipients(const QString& to);
    // True when the text may go into a mail header or an SMTP command (no CR, LF or NUL).
    static bool IsHeaderSafe(const QString& text);

    // Where the server's certificate is checked against: the system's trust store unless a
    // CA file is set here (tests and sites with their own authority). Empty: the system's.
    static void SetCaFile(const QString& path);

signals:
    // status: StatusSent, a Status above or libcurl's error number; finished: always true (the
    // attempt is over); secured: the connection used TLS; object: this sender.
    void SignalStatus(int status, bool finished, bool secured, void* object);

private:
    int Refuse(int status);
    void Run(std::string url, std::string from, QStringList to, std::string message);

    std::string m_server;  // set in the constructor, read only afterwards
    std::string m_user;
    std::string m_password;
    quint16 m_port;
    char m_security;
    std::thread m_worker;              // owned by the thread that created the sender
    std::atomic<bool> m_abort{false};  // set by the destructor, read by the worker's progress check
    std::atomic<bool> m_busy{false};   // set by SendMail, cleared by the worker at its end
};
