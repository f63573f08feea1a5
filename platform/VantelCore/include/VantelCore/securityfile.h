// The security file: the accounts an engine lets in from other machines. It is
// <SecurityFile> holding one or more <Client name="..." password="..."/> elements (a Client
// without a password attribute has an empty password; other attributes are ignored). The
// recording and event engines read it and their consoles import it through these functions alone.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace vantel {

struct SecurityClient {
    QString name;  // trimmed, never empty
    QString password;
};

// A security file lists a few accounts: anything larger is not one.
constexpr qint64 kMaxSecurityFileBytes = 1024 * 1024;

// The clients the bytes name, in file order. False, with the reason in `why` (when given), for
// anything but a well-formed security file with at least one named client.
bool ParseSecurityFile(const QByteArray& data, std::vector<SecurityClient>* clients, QString* why);

enum class SecurityRead { Ok, NotFound, NotAFile, TooLarge, Unreadable, Malformed };

// Reads and parses the file at `path`. `data` (when given) receives the bytes read, for an import
// that stores them as they are. Anything but Ok comes with its reason in `why` (when given).
SecurityRead ReadSecurityFile(const QString& path, std::vector<SecurityClient>* clients, QByteArray* data,
                              QString* why);

}  // namespace vantel
