// What the management console's start-up does on its own: the silent second start, handing the
// stored password and options to the engine, and the crash-dump fallback.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace VantelServerStartup {

// True when a second start should stay silent: exactly one argument, "-s" or "--silent".
bool IsSilentStart(const QStringList& argumentsAfterProgram);

// Reads group info (pwd, mdev) of the settings file and hands it to the engine; the file (it holds
// the password) is made owner-only. The stored password is deciphered by the platform. None stored:
// the empty password, which the engine serves to clients on this machine only. One that cannot be
// deciphered, or is too long for the engine: every login is refused until it is set again, and the
// returned text (empty when all is well) tells the operator why.
QString ApplyInfoSettings(const QString& settingsFile);

// "<app>-0x59976F.0-YYYYMMDD-HHMMSS.dmp" for that local time.
QString MiniDumpFileName(const QString& appName, const QDateTime& when);

// Installs handlers for SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT that write a dump (signal,
// fault address, backtrace) named as above into `folder`, then end the process as the signal
// would. Everything is prepared here: the handler calls only async-signal-safe functions.
// Nothing is written while a debugger traces the process.
void InstallMiniDumpFilter(const QString& folder, const QString& appName);

}  // namespace VantelServerStartup
