// Security-file import (the file itself: VantelCore/securityfile.h).
#pragma once

#include <QByteArray>
#include <QString>

namespace kesto {

// Checks `source` and copies it whole to `target` (owner-only); a LUMOSR_* code: LUMOSR_ERR_FULL
// when the disk of `target` is full, LUMOSR_ERR_IO for another write failure, the old `target`
// kept either way.
int ImportSecurityFile(const QString& source, const QString& target, QString* why);

}  // namespace kesto
