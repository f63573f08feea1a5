// The server list's process watch: which host programs run, found in /proc by the real path of
// each process's executable (never the 15-character command name), zombies skipped. Runs on a
// worker thread.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

namespace ProcessWatch {

// True when a live (not zombie) process of this user runs an executable whose file name is
// exactly `name` (letter case counts) in this process's instance scope (VANTEL_INSTANCE_SCOPE,
// unset for every program in normal use). procRoot: "/proc", or a folder laid out like it (tests).
bool IsProcessRunning(const QString& name, const QString& procRoot = QStringLiteral("/proc"));

struct HostState {
    bool running = false;
    int port = 0;
};

// For each host: whether it runs, and the top-level "port" of its settings file (the default
// text when there is none; text that is no number gives 0).
QVector<HostState> Scan(const QStringList& names, const QStringList& iniFiles,
                        const QStringList& defaultPorts, const QString& procRoot = QStringLiteral("/proc"));

}  // namespace ProcessWatch
