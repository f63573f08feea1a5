// The folders a console test runs in: a program folder with the built language files, and the
// user's configuration, runtime, temporary and log folders inside the test's own folder, with an
// instance scope of its own so that its guard and stop channel never meet another run's.
#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include "VantelInfraAPI/testseams.h"

namespace consoletest {

// Copies the built language files into <dir>/prog/Languages and makes that folder the program's
// folder. Its path, or empty when a file could not be copied.
inline QString MakeProgramDir(const QTemporaryDir& dir) {
    const QString prog = dir.filePath(QStringLiteral("prog"));
    const QString bin = qEnvironmentVariable("VANTEL_BIN_DIR");
    QDir().mkpath(prog + QStringLiteral("/Languages"));
    for (const char* f : {"English.qm", "Chinese.qm", "languages.ini"})
        if (!QFile::copy(bin + QStringLiteral("/Languages/") + QLatin1String(f),
                         prog + QStringLiteral("/Languages/") + QLatin1String(f)))
            return QString();
    INFRA::TestSeams::SetProgramDir(prog);
    return prog;
}

// Points the configuration, runtime (made private), temporary and log folders into dir, and
// gives this run the instance scope "<tag>-<pid>".
inline void UsePrivateFolders(const QTemporaryDir& dir, const char* tag) {
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("TMPDIR", dir.path().toLocal8Bit());
    qputenv("VANTEL_INSTANCE_SCOPE", QByteArray(tag) + '-' + QByteArray::number(getpid()));
    qputenv("VANTEL_LOG_DIR", dir.filePath(QStringLiteral("logs")).toLocal8Bit());
    const QString runtime = dir.filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
}

}  // namespace consoletest
