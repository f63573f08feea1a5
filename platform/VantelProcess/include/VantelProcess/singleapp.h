// SingleApp: the single-instance guard of a program, and its forced end.
//
// The guard and the consoles' stop channels (sharememory.h) share one scope: the user and the
// machine. Both live in one private folder of the user, /tmp/vantel-<uid>, whatever the runtime
// or temporary folder of the environment says, so that a "stop" always reaches the one program
// that holds the guard, and a program started with other environment folders is still refused.
#pragma once

#include <QString>
#include <memory>

class QLockFile;

namespace InstanceScope {

// The user's private folder of guards and channels (/tmp/vantel-<uid>), made on first use. Empty
// when it cannot be made or is not safe to use (*error says why, in English).
QString Folder(QString* error = nullptr);
// Makes `path` a private folder of this user, or checks the one there: a real folder (not a
// link) owned by this user, with no access for others (a looser mode of our own folder is
// tightened). False, with *error, when it is missing and cannot be made, or is not ours.
// (VantelPreparePrivateFolder of VantelCore/privatefolder.h, for QString paths.)
bool PreparePrivateFolder(const QString& path, QString* error = nullptr);
// `name` within the scope: with ".<tag>" appended when VANTEL_INSTANCE_SCOPE names a tag
// (tests keep their runs apart with it; unset in normal use). Characters other than letters,
// digits, '-' and '_' in the tag become '_'.
QString Name(const QString& name);

}  // namespace InstanceScope

class SingleApp {
public:
    // name: the program's name (default: the application name, i.e. the executable's base
    // name). The lock lives in the scope's folder, so every process of the same user sees it.
    explicit SingleApp(const QString& name = QString());
    ~SingleApp();
    SingleApp(const SingleApp&) = delete;
    SingleApp& operator=(const SingleApp&) = delete;

    // True when another process of the same program holds the lock. The first call takes the
    // lock when it is free; it is held until this object is destroyed.
    bool IsRunning();
    QString GetAppName() const { return m_name; }
    // Path of the lock file (empty when the scope's folder cannot be used).
    QString LockFilePath() const;

    // Ends the process with _exit after ms milliseconds, from a detached timer thread, whatever
    // the GUI thread is doing. graceful true first posts a quit to the event loop and ends the
    // process only if it is still alive after the time; false ends it outright.
    void KillByTime(int ms, bool graceful);

private:
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    bool m_checked = false;
    bool m_running = false;
};
