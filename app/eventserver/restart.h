// Starting a fresh instance of the program at its end: the single-instance guard is released
// first, so that the new instance does not find this one still running.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class SingleApp;

// The exit code with which the program ends when it wants a fresh instance of itself (after a
// saved change of its settings); main starts that instance.
constexpr int kRestartExitCode = 773;

// Releases `guard` (it is null afterwards), then starts `program` detached with `arguments`.
// False when the program could not be started.
bool RestartAfterGuard(std::unique_ptr<SingleApp>& guard, const QString& program,
                       const QStringList& arguments = QStringList());
