#include "VantelMail/lumocsmtp.h"

#include <curl/curl.h>

#include <QDateTime>
#include <QLocale>
#include <QMetaObject>
#include <QStringList>
#include <mutex>

#include "VantelCore/VantelCore.h"

namespace {

struct CurlFree {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistFree {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

std::mutex g_caMutex;
QString g_caFile;  // guarded by g_caMutex

QString CaFile() {
    std::lock_guard<std::mutex> lock(g_caMutex);
    return g_caFile;
}

// A header value that is not plain ASCII travels as an RFC 2047 encoded word.
QByteArray EncodeHeader(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    for (char c : utf8)
        if (static_cast<unsigned char>(c) >= 0x80) return "=?UTF-8?B?" + utf8.toBase64() + "?=";
    return utf8;
}

struct Upload {
    std::string data;
    size_t offset = 0;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* user) {
    auto* up = static_cast<Upload*>(user);
    size_t room = size * count;
    size_t left = up->data.size() - up->offset;
    size_t n = left < room ? left : room;
    memcpy(buffer, up->data.data() + up->offset, n);
    up->offset += n;
    return n;
}

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<std::atomic<bool>*>(user)->load() ? 1 : 0;
}

}  // namespace

LumoCSmtp::LumoCSmtp(const QString& server, const QString& user, const QString& password, quint16 port,
                     char security, QObject* parent)
    : QObject(parent),
      m_server(server.trimmed().toStdString()),
      m_user(user.toStdString()),
      m_password(password.toStdString()),
      m_port(port),
      m_security(security) {
    // libcurl's global set-up is not thread-safe: do it once, here, before any worker runs.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

LumoCSmtp::~LumoCSmtp() {
    m_abort = true;
    if (m_worker.joinable()) m_worker.join();
}

QStringList LumoCSmtp::SplitRecipients(const QString& to) {
    QStringList out;
    for (const QString& part : to.split(QLatin1Char(';'))) {
        const QString t = part.trimmed();
        if (!t.isEmpty()) out << t;
    }
    return out;
}

bool LumoCSmtp::IsHeaderSafe(const QString& text) {
    return !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')) && !text.contains(QChar(0));
}

void LumoCSmtp::SetCaFile(const QString& path) {
    std::lock_guard<std::mutex> lock(g_caMutex);
    g_caFile = path;
}

int LumoCSmtp::Refuse(int status) {
    QMetaObject::invokeMethod(
        this, [this, status] { emit SignalStatus(status, true, false, this); }, Qt::QueuedConnection);
    return status;
}

int LumoCSmtp::SendMail(const QString& from, const QString& to, const QString& subject, const QString& body) {
    if (m_busy.exchange(true)) return Refuse(StatusBusy);
    const QStringList recipients = SplitRecipients(to);
    bool safe = IsHeaderSafe(from) && IsHeaderSafe(to) && IsHeaderSafe(subject) &&
                IsHeaderSafe(QString::fromStdString(m_server)) &&
                IsHeaderSafe(QString::fromStdString(m_user));
    if (!safe || recipients.isEmpty() || m_server.empty() || from.trimmed().isEmpty()) {
        VantelDBG_Printf_f(0x7fff, 1, "LumoCSmtp::SendMail", "mail refused: %s",
                           !safe ? "CR or LF in a header field" : "no server, sender or recipient");
        m_busy = false;
        return Refuse(StatusBadInput);
    }
    if (m_worker.joinable()) m_worker.join();  // the previous mail has ended (m_busy was clear)

    QByteArray message;
    message +=
        "Date: " +
        QLocale::c().toString(QDateTime::currentDateTimeUtc(), "ddd, dd MMM yyyy hh:mm:ss +0000").toLatin1() +
        "\r\n";
    message += "From: " + from.trimmed().toUtf8() + "\r\n";
    message += "To: " + recipients.join(QStringLiteral(", ")).toUtf8() + "\r\n";
    message += "Subject: " + EncodeHeader(subject.trimmed()) + "\r\n";
    message +=
        "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: "
        "8bit\r\n\r\n";
    QString text = body;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    message += text.replace(QLatin1Char('\n'), QStringLiteral("\r\n")).toUtf8() + "\r\n";

    std::string url =
        (m_security == SecuritySsl ? "smtps://" : "smtp://") + m_server + ":" + std::to_string(m_port);
    m_worker = std::thread(&LumoCSmtp::Run, this, url, from.trimmed().toStdString(), recipients,
                           message.toStdString());
    return 0;
}

void LumoCSmtp::Run(std::string url, std::string from, QStringList to, std::string message) {
    std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
    int status = CURLE_FAILED_INIT;
    const bool secured = m_security == SecuritySsl || m_security == SecurityStartTls;
    if (curl) {
        CURL* c = curl.get();
        std::unique_ptr<curl_slist, SlistFree> rcpt;
        for (const QString& r : to) {
            curl_slist* next = curl_slist_append(rcpt.get(), ("<" + r.toStdString() + ">").c_str());
            if (!next) break;
            rcpt.release();
            rcpt.reset(next);
        }
        Upload upload{message, 0};
        const std::string mailFrom = "<" + from + ">";
        const std::string ca = CaFile().toStdString();
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 15L);
        curl_easy_setopt(c, CURLOPT_TIMEOUT, 60L);
        if (m_security == SecurityStartTls) curl_easy_setopt(c, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        if (!ca.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, ca.c_str());
        if (!m_user.empty()) {
            curl_easy_setopt(c, CURLOPT_USERNAME, m_user.c_str());
            curl_easy_setopt(c, CURLOPT_PASSWORD, m_password.c_str());
        }
        curl_easy_setopt(c, CURLOPT_MAIL_FROM, mailFrom.c_str());
        curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.get());
        curl_easy_setopt(c, CURLOPT_READFUNCTION, &ReadUpload);
        curl_easy_setopt(c, CURLOPT_READDATA, &upload);
        curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Progress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &m_abort);
        CURLcode rc = curl_easy_perform(c);
        status = rc == CURLE_OK             ? int(StatusSent)
                 : rc == CURLE_LOGIN_DENIED ? int(StatusLoginDenied)
                                            : int(rc);
        if (rc != CURLE_OK)
            VantelDBG_Printf_f(0x7fff, 1, "LumoCSmtp::Run", "mail to %s failed: %s", url.c_str(),
                               curl_easy_strerror(rc));
    }
    curl.reset();  // the connection is closed before the report, so releasing the sender never waits on it
    m_busy = false;
    // The last touch of the sender: its receiver may release it as soon as the report arrives.
    if (!m_abort) emit SignalStatus(status, true, secured, this);
}
