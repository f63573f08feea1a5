// Security-file check and import.
#pragma once

#include <QByteArray>
#include <QString>

namespace kesto {

// A security file is <SecurityFile> holding one or more <Client name="..."/> elements.
bool ValidateSecurityXml(const QByteArray& data, QString* why);
// Checks `source` and copies it whole to `target` (owner-only); a LUMOSR_* code: LUMOSR_ERR_FULL
// when the disk of `target` is full, LUMOSR_ERR_IO for another write failure, the old `target`
// kept either way.
int ImportSecurityFile(const QString& source, const QString& target, QString* why);

}  // namespace kesto
