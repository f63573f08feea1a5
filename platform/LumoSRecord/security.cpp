// Security-file import: the file names the clients the engine trusts. It is checked whole before
// anything is written, then replaces the engine's copy atomically.
#include "security.h"

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

#include "LumoBase/LumoResult.h"
#include "LumoBase/atomicfile.h"
#include "LumoSRecord/LumoSRecord.h"

namespace kesto {

namespace {
const qint64 kMaxSecurityFileBytes = 1024 * 1024;
}

bool ValidateSecurityXml(const QByteArray& data, QString* why) {
    QXmlStreamReader xml(data);
    int depth = 0;
    int clients = 0;
    bool sawRoot = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            ++depth;
            if (depth == 1) {
                if (xml.name() != QLatin1String("SecurityFile")) {
                    if (why) *why = QStringLiteral("root element is not SecurityFile");
                    return false;
                }
                sawRoot = true;
            } else if (depth == 2) {
                if (xml.name() != QLatin1String("Client")) {
                    if (why) *why = QStringLiteral("unexpected element %1").arg(xml.name().toString());
                    return false;
                }
                if (xml.attributes().value(QLatin1String("name")).trimmed().isEmpty()) {
                    if (why) *why = QStringLiteral("a Client has no name");
                    return false;
                }
                ++clients;
            }
        } else if (xml.isEndElement()) {
            --depth;
        }
    }
    if (xml.hasError()) {
        if (why) *why = xml.errorString();
        return false;
    }
    if (!sawRoot || clients == 0) {
        if (why) *why = QStringLiteral("no Client in the file");
        return false;
    }
    return true;
}

int ImportSecurityFile(const QString& source, const QString& target, QString* why) {
    QFileInfo fi(source);
    if (source.isEmpty() || !fi.exists()) {
        if (why) *why = QStringLiteral("file not found");
        return LUMOSR_ERR_NOTFOUND;
    }
    if (!fi.isFile()) {
        if (why) *why = QStringLiteral("not a file");
        return LUMOSR_ERR_PARAM;
    }
    if (fi.size() > kMaxSecurityFileBytes) {
        if (why) *why = QStringLiteral("file too large");
        return LUMOSR_ERR_PARAM;
    }
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        if (why) *why = in.errorString();
        return LUMOSR_ERR_IO;
    }
    const QByteArray data = in.read(kMaxSecurityFileBytes + 1);
    if (in.error() != QFileDevice::NoError) {
        if (why) *why = in.errorString();
        return LUMOSR_ERR_IO;
    }
    in.close();
    if (!ValidateSecurityXml(data, why)) return LUMOSR_ERR_PARAM;

    // The file holds the network accounts' passwords: readable by the engine's owner only. Every
    // byte is on the disk before it replaces the old copy; on failure the old copy stays.
    const LumoSaveResult saved =
        LumoSaveFileAtomic(QFile::encodeName(target).toStdString(), data.constData(), size_t(data.size()), 0600);
    if (!saved.ok()) {
        if (why) *why = QString::fromStdString(saved.message);
        return saved.code == LUMO_ERR_DISKFULL ? LUMOSR_ERR_FULL : LUMOSR_ERR_IO;
    }
    return LUMOSR_OK;
}

}  // namespace kesto
