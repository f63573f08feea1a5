#include "VantelInfraAPI/testseams.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QTextStream>

namespace INFRA {
namespace TestSeams {
namespace {

struct State {
    QMutex mutex;
    bool logSet = false;
    QString log;
    bool replySet = false;
    QString reply;
    QString programDir;
    bool busySync = false;
};

State& state() {
    static State s;
    return s;
}

QString clean(QString field) {
    field.replace(QLatin1Char('\t'), QLatin1Char(' '));
    field.replace(QLatin1Char('\r'), QLatin1Char(' '));
    field.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return field;
}

}  // namespace

QString UiLogPath() {
    State& s = state();
    QMutexLocker lock(&s.mutex);
    return s.logSet ? s.log : qEnvironmentVariable("VANTEL_UI_LOG");
}

void SetUiLogPath(const QString& path) {
    State& s = state();
    QMutexLocker lock(&s.mutex);
    s.logSet = true;
    s.log = path;
}

void RecordUiEvent(const QStringList& fields) {
    const QString path = UiLogPath();
    if (path.isEmpty()) return;
    QStringList cleaned;
    cleaned.reserve(fields.size());
    for (const QString& f : fields) cleaned << clean(f);
    State& s = state();
    QMutexLocker lock(&s.mutex);
    QFile file(path);
    // Append, so that several processes (a second instance, say) share one log.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) return;
    file.write(cleaned.join(QLatin1Char('\t')).toUtf8());
    file.write("\n");
}

QString ScriptedReply() {
    State& s = state();
    QMutexLocker lock(&s.mutex);
    return (s.replySet ? s.reply : qEnvironmentVariable("VANTEL_UI_REPLY")).trimmed().toLower();
}

void SetScriptedReply(const QString& reply) {
    State& s = state();
    QMutexLocker lock(&s.mutex);
    s.replySet = true;
    s.reply = reply;
}

QString ProgramDirOverride() {
    State& s = state();
    QMutexLocker lock(&s.mutex);
    return s.programDir;
}

void SetProgramDir(const QString& dir) {
    State& s = state();
    QMutexLocker lock(&s.mutex);
    s.programDir = dir;
}

bool BusySynchronous() {
    State& s = state();
    QMutexLocker lock(&s.mutex);
    return s.busySync;
}

void SetBusySynchronous(bool on) {
    State& s = state();
    QMutexLocker lock(&s.mutex);
    s.busySync = on;
}

}  // namespace TestSeams
}  // namespace INFRA
