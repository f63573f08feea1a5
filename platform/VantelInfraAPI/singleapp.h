// SingleApp: the single-instance guard of a program, and its forced end.
#pragma once

#include <QString>
#include <memory>

class QLockFile;

class SingleApp {
public:
    // name: the program's name (default: the application name, i.e. the executable's base
    // name). The lock lives in the user's runtime folder, so other processes of the same user see it.
    explicit SingleApp(const QString& name = QString());
    ~SingleApp();
    SingleApp(const SingleApp&) = delete;
    SingleApp& operator=(const SingleApp&) = delete;

    // True when another process of the same program holds the lock. The first call takes the
    // lock when it is free; it is held until this object is destroyed.
    bool IsRunning();
    QString GetAppName() const { return m_name; }
    // Path of the lock file.
    QString LockFilePath() const;

    // Ends the process with _exit after ms milliseconds, from a detached timer thread, whatever
    // the GUI thread is doing. graceful true first posts a quit to the event loop and ends the
    // process only if it is still alive after the time; false ends it outright.
    void KillByTime(int ms, bool graceful);

    // The folder that holds the lock files: $XDG_RUNTIME_DIR, else a private folder under the
    // temporary folder.
    static QString RuntimeFolder();

private:
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    bool m_checked = false;
    bool m_running = false;
};
