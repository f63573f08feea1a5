// Security-file import: the file names the clients the engine trusts. It is checked whole before
// anything is written, then replaces the engine's copy atomically.
#include "security.h"

#include <QFile>

#include "LumoBase/LumoResult.h"
#include "LumoBase/atomicfile.h"
#include "LumoSRecord/LumoSRecord.h"
#include "VantelCore/securityfile.h"

namespace kesto {

int ImportSecurityFile(const QString& source, const QString& target, QString* why) {
    QByteArray data;
    switch (vantel::ReadSecurityFile(source, nullptr, &data, why)) {
        case vantel::SecurityRead::Ok:
            break;
        case vantel::SecurityRead::NotFound:
            return LUMOSR_ERR_NOTFOUND;
        case vantel::SecurityRead::Unreadable:
            return LUMOSR_ERR_IO;
        case vantel::SecurityRead::NotAFile:
        case vantel::SecurityRead::TooLarge:
        case vantel::SecurityRead::Malformed:
            return LUMOSR_ERR_PARAM;
    }

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
