// Events stored per second by the event engine, with the table empty and at its default limit
// of 100 000 rows, against a plain SQLite loop (Qt SQL, one prepared INSERT per row, WAL, the
// same columns) in the same run, in turns, the median of five runs each. Four devices, each on
// a thread of its own, send their events over loopback with up to 64 unanswered at a time; the
// engine answers each once its row is committed. The engine thread's CPU time per event is
// shown beside: where the rate is below it, the devices' side is what holds it back. Meanwhile
// one more device sends one event at a time: how long it waits for each answer is shown too. The engine must
// keep within 2x of the loop and stay flat in the table size; exit status 1 when it does not.
//
//   build/bench/bench_eventstore [events per run [devices]]
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QWebSocket>
#include <algorithm>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "LumoSEvent/LumoSEvent.h"

namespace {

// Events a device has sent and not yet seen answered, and the devices sending at once (each on
// a thread of its own, so that the devices' side keeps the engine busy).
const int kWindow = 64;
int gDevices = 4;  // set once by main

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS events (id INTEGER PRIMARY KEY AUTOINCREMENT, received TEXT NOT NULL, "
    "time TEXT, device TEXT NOT NULL, kind TEXT, text TEXT, picture TEXT)";

// A database of `rows` events, as the engine would have left it.
bool fill(const QString& file, int rows) {
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery q(db);
            ok = q.exec("PRAGMA journal_mode=WAL") && q.exec(kSchema) && db.transaction();
            q.prepare(
                "INSERT INTO events (received, time, device, kind, text, picture) VALUES (?, ?, ?, ?, ?, ?)");
            const QString now = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
            for (int i = 0; ok && i < rows; ++i) {
                q.addBindValue(now);
                q.addBindValue("2026-01-02T03:04:05");
                q.addBindValue("cam-old");
                q.addBindValue("motion");
                q.addBindValue(QString("old event %1").arg(i));
                q.addBindValue(QString());
                ok = q.exec();
            }
            ok = ok && db.commit();
        }
    }
    QSqlDatabase::removeDatabase("fill");
    return ok;
}

double ownThreadCpu() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The plain loop: one autocommitted INSERT per row, the statement prepared once. *cpuPerRow: its
// thread's CPU time per row (µs).
double plainLoop(const QString& file, int events, double* cpuPerRow) {
    double rate = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "plain");
        db.setDatabaseName(file);
        if (!db.open()) return 0;
        QSqlQuery q(db);
        q.exec("PRAGMA journal_mode=WAL");
        q.exec(kSchema);
        q.prepare(
            "INSERT INTO events (received, time, device, kind, text, picture) VALUES (?, ?, ?, ?, ?, ?)");
        const double cpu0 = ownThreadCpu();
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < std::min(events, 10000); ++i) {
            q.addBindValue(QDateTime::currentDateTime().toString(Qt::ISODateWithMs));
            q.addBindValue("2026-01-02T03:04:05");
            q.addBindValue("cam-1");
            q.addBindValue("motion");
            q.addBindValue(QString("event %1").arg(i));
            q.addBindValue(QString());
            if (!q.exec()) {
                std::fprintf(stderr, "plain insert: %s\n", qPrintable(q.lastError().text()));
                return 0;
            }
        }
        rate = events * 1000.0 / std::max<qint64>(1, t.elapsed());
        *cpuPerRow = (ownThreadCpu() - cpu0) * 1e6 / events;
    }
    QSqlDatabase::removeDatabase("plain");
    return rate;
}

// CPU seconds used so far by the threads whose name starts with `prefix` (the engine's thread is
// named after its class), and by the whole process.
double threadCpu(const QByteArray& prefix) {
    const double tick = double(sysconf(_SC_CLK_TCK));
    double sum = 0;
    for (const QString& tid : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm("/proc/self/task/" + tid + "/comm"), stat("/proc/self/task/" + tid + "/stat");
        if (!comm.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly)) continue;
        if (!prefix.isEmpty() && !comm.readAll().startsWith(prefix)) continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 12) sum += (f[11].toLongLong() + f[12].toLongLong()) / tick;
    }
    return sum;
}

quint16 freePort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// One device on a thread of its own: registers, waits for the go, sends its events with up to
// `window` unanswered, and counts the answers. With a window of 1 it notes how long each answer
// took, until `done`.
struct DeviceRun {
    quint16 port = 0;
    QString name;
    int events = 0;
    int window = kWindow;
    std::atomic<bool>* go = nullptr;
    std::atomic<bool>* done = nullptr;
    std::vector<double> waitsMs;
    std::atomic<int> registered{0};  // 1 registered, -1 failed
    std::atomic<int> stored{0};
    void run() {
        QWebSocket ws;
        int answered = 0, sent = 0;
        bool ok = false;
        QElapsedTimer sinceSend;
        QObject::connect(&ws, &QWebSocket::textMessageReceived, [&](const QString& t) {
            const QString msg = QJsonDocument::fromJson(t.toUtf8()).object().value("msg").toString();
            if (msg == "registered")
                ok = true;
            else {
                ++answered;
                if (msg == "stored") ++stored;
                if (window == 1) waitsMs.push_back(sinceSend.nsecsElapsed() / 1e6);
            }
        });
        ws.open(QUrl(QString("ws://127.0.0.1:%1").arg(port)));
        QElapsedTimer wait;
        wait.start();
        while (ws.state() != QAbstractSocket::ConnectedState && wait.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        ws.sendTextMessage(QString(R"({"msg":"register","name":"%1","type":0})").arg(name));
        while (!ok && wait.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        // Made before the clock starts: the device's own work is not the engine's.
        QStringList messages;
        for (int i = 0; i < std::min(events, 10000); ++i)
            messages << QString::fromUtf8(QJsonDocument(QJsonObject{{"msg", "event"},
                                                                    {"time", "2026-01-02T03:04:05"},
                                                                    {"kind", "motion"},
                                                                    {"text", QString("event %1").arg(i)}})
                                              .toJson(QJsonDocument::Compact));
        registered = ok ? 1 : -1;
        while (ok && !go->load()) QThread::usleep(100);
        wait.restart();
        while (ok && answered < events && !(done && done->load()) && wait.elapsed() < 600000) {
            while (sent < events && sent - answered < window) {
                sinceSend.start();
                ws.sendTextMessage(messages[sent++ % messages.size()]);
            }
            ws.flush();
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        ws.close();
    }
};

// The engine on a database of the given size; gDevices devices send `events` events in all.
// *cpuPerEvent: the engine thread's CPU time per event (µs); *otherWaitMs: the median time one
// more device, sending one event at a time meanwhile, waits for each answer.
double engine(const QString& dir, int events, double* cpuPerEvent, double* otherWaitMs) {
    const quint16 port = freePort();
    const QByteArray pic = (dir + "/pic").toUtf8(), dbs = dir.toUtf8();
    if (!LumoSEStart(port, 0, 0, 0, pic.constData(), dbs.constData())) {
        std::fprintf(stderr, "engine did not start\n");
        return 0;
    }
    std::atomic<bool> go{false};
    std::vector<std::unique_ptr<DeviceRun>> devices;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < gDevices; ++i) {
        devices.push_back(std::make_unique<DeviceRun>());
        DeviceRun* d = devices.back().get();
        d->port = port;
        d->name = QString("cam-%1").arg(i);
        d->events = events / gDevices;
        d->go = &go;
        threads.emplace_back(QThread::create([d] { d->run(); }));
        threads.back()->start();
    }
    std::atomic<bool> done{false};
    DeviceRun other;
    other.port = port;
    other.name = "cam-other";
    other.events = 1 << 30;
    other.window = 1;
    other.go = &go;
    other.done = &done;
    std::unique_ptr<QThread> otherThread(QThread::create([&other] { other.run(); }));
    otherThread->start();
    for (auto& d : devices)
        while (d->registered.load() == 0) QThread::usleep(1000);
    while (other.registered.load() == 0) QThread::usleep(1000);
    const double cpu0 = threadCpu("lumose::EventEn");
    QElapsedTimer t;
    t.start();
    go = true;
    for (auto& th : threads) th->wait();
    const qint64 ms = t.elapsed();
    done = true;
    otherThread->wait();
    int stored = 0;
    for (auto& d : devices) stored += d->stored.load();
    std::sort(other.waitsMs.begin(), other.waitsMs.end());
    *otherWaitMs = other.waitsMs.empty() ? 0 : other.waitsMs[other.waitsMs.size() / 2];
    *cpuPerEvent = (threadCpu("lumose::EventEn") - cpu0) * 1e6 / std::max(1, stored + other.stored.load());
    if (stored != events / gDevices * gDevices)
        std::fprintf(stderr, "engine stored %d of %d\n", stored, events);
    LumoSEStop(port);
    return stored * 1000.0 / std::max<qint64>(1, ms);
}

}  // namespace

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int events = argc > 1 ? std::max(100, atoi(argv[1])) : 3000;
    if (argc > 2) gDevices = std::max(1, std::min(64, atoi(argv[2])));
    const int rounds = 5;
    LumoSEInitialize(nullptr);
    QTemporaryDir tmp;
    std::printf("%d events a run from %d devices, median of %d runs each, taken in turns; folder %s\n",
                events, gDevices, rounds, qPrintable(QDir::tempPath()));
    std::printf("%-10s %12s %13s %7s   %14s %14s %7s   %12s\n", "table rows", "engine ev/s", "plain rows/s",
                "ratio", "engine CPU us", "plain CPU us", "ratio", "other ms");
    bool ok = true;
    double first = 0;
    for (int rows : {0, int(LUMOSE_DEFAULT_MAXEVENTROWS)}) {
        const QString dirPlain = tmp.filePath(QString("plain-%1").arg(rows));
        const QString dirEngine = tmp.filePath(QString("engine-%1").arg(rows));
        QDir().mkpath(dirPlain);
        QDir().mkpath(dirEngine);
        const QString dbEngine = QString::fromStdString(LumoSEDatabaseFile(dirEngine.toUtf8().constData()));
        if (!fill(dirPlain + "/plain.db", rows) || !fill(dbEngine, rows)) {
            std::fprintf(stderr, "cannot fill the databases\n");
            return 2;
        }
        std::vector<double> plainRates, engineRates, engineCpu, plainCpu, otherWaits;
        for (int r = 0; r < rounds; ++r) {
            double pcpu = 0;
            plainRates.push_back(plainLoop(dirPlain + "/plain.db", events, &pcpu));
            plainCpu.push_back(pcpu);
            double cpu = 0, wait = 0;
            engineRates.push_back(engine(dirEngine, events, &cpu, &wait));
            engineCpu.push_back(cpu);
            otherWaits.push_back(wait);
        }
        const double plain = median(plainRates), eng = median(engineRates);
        const double ratio = plain > 0 ? eng / plain : 0;
        const double ecpu = median(engineCpu), pcpu = median(plainCpu);
        std::printf("%-10d %12.0f %13.0f %7.3f   %14.1f %14.1f %7.3f   %12.1f\n", rows, eng, plain, ratio,
                    ecpu, pcpu, ecpu > 0 ? pcpu / ecpu : 0, median(otherWaits));
        if (ratio < 0.5) ok = false;
        if (rows == 0)
            first = eng;
        else if (first > 0 && eng < first / 2)
            ok = false;
    }
    std::printf("CPU us: per event on the engine's thread, per row on the loop's; ratio plain/engine\n");
    std::printf("other ms: median wait for the answer of one more device sending one event at a time\n");
    std::printf(
        "goal: engine within 2x of the plain loop, and at 100000 rows at least half its rate at 0: %s\n",
        ok ? "met" : "NOT met");
    LumoSEInvalidate();
    return ok ? 0 : 1;
}
