// Security-file check and import.
#pragma once

#include <QByteArray>
#include <QString>

namespace kesto {

// A security file is <SecurityFile> holding one or more <Client name="..."/> elements.
bool ValidateSecurityXml(const QByteArray& data, QString* why);
// Checks `source` and copies it whole to `target`; a LUMOSR_* code.
int ImportSecurityFile(const QString& source, const QString& target, QString* why);

}  // namespace kesto
