#include "VantelCore/securityfile.h"

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

namespace vantel {

namespace {
bool Fail(QString* why, const QString& reason) {
    if (why) *why = reason;
    return false;
}
}  // namespace

bool ParseSecurityFile(const QByteArray& data, std::vector<SecurityClient>* clients, QString* why) {
    std::vector<SecurityClient> found;
    QXmlStreamReader xml(data);
    int depth = 0;
    bool sawRoot = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            ++depth;
            if (depth == 1) {
                if (xml.name() != QLatin1String("SecurityFile"))
                    return Fail(why, QStringLiteral("root element is not SecurityFile"));
                sawRoot = true;
            } else if (depth == 2) {
                if (xml.name() != QLatin1String("Client"))
                    return Fail(why, QStringLiteral("unexpected element %1").arg(xml.name().toString()));
                const auto attrs = xml.attributes();
                SecurityClient c;
                c.name = attrs.value(QLatin1String("name")).trimmed().toString();
                if (c.name.isEmpty()) return Fail(why, QStringLiteral("a Client has no name"));
                c.password = attrs.value(QLatin1String("password")).toString();
                found.push_back(std::move(c));
            }
        } else if (xml.isEndElement()) {
            --depth;
        }
    }
    if (xml.hasError()) return Fail(why, xml.errorString());
    if (!sawRoot || found.empty()) return Fail(why, QStringLiteral("no Client in the file"));
    if (clients) *clients = std::move(found);
    return true;
}

SecurityRead ReadSecurityFile(const QString& path, std::vector<SecurityClient>* clients, QByteArray* data,
                              QString* why) {
    QFileInfo fi(path);
    if (path.isEmpty() || !fi.exists()) {
        Fail(why, QStringLiteral("file not found"));
        return SecurityRead::NotFound;
    }
    if (!fi.isFile()) {
        Fail(why, QStringLiteral("not a file"));
        return SecurityRead::NotAFile;
    }
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        Fail(why, in.errorString());
        return SecurityRead::Unreadable;
    }
    // One byte more than allowed tells a file that grew past the limit since it was looked at.
    const QByteArray bytes = in.read(kMaxSecurityFileBytes + 1);
    if (in.error() != QFileDevice::NoError) {
        Fail(why, in.errorString());
        return SecurityRead::Unreadable;
    }
    if (bytes.size() > kMaxSecurityFileBytes) {
        Fail(why, QStringLiteral("file too large"));
        return SecurityRead::TooLarge;
    }
    if (!ParseSecurityFile(bytes, clients, why)) return SecurityRead::Malformed;
    if (data) *data = bytes;
    return SecurityRead::Ok;
}

}  // namespace vantel
