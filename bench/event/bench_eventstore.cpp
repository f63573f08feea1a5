// Events stored per second by the event engine, with the table empty and at its default limit
// of 100 000 rows, against a plain SQLite loop (Qt SQL, one prepared INSERT per row, WAL, the
// same columns) in the same run, in turns, the median of five runs each. One device sends its events over loopback with up to 64
// unanswered at a time; the engine answers each once its row is committed. The engine must
// keep within 2x of the loop and stay flat in the table size; exit status 1 when it does not.
//
//   build/bench/bench_eventstore [events per run]
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
#include <cstdio>
#include <vector>

#include "LumoSEvent/LumoSEvent.h"

namespace {

// Events a device has sent and not yet seen answered.
const int kWindow = 64;

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
            q.prepare("INSERT INTO events (received, time, device, kind, text, picture) VALUES (?, ?, ?, ?, ?, ?)");
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

// The plain loop: one autocommitted INSERT per row, the statement prepared once.
double plainLoop(const QString& file, int events) {
    double rate = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "plain");
        db.setDatabaseName(file);
        if (!db.open()) return 0;
        QSqlQuery q(db);
        q.exec("PRAGMA journal_mode=WAL");
        q.exec(kSchema);
        q.prepare("INSERT INTO events (received, time, device, kind, text, picture) VALUES (?, ?, ?, ?, ?, ?)");
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < events; ++i) {
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
    }
    QSqlDatabase::removeDatabase("plain");
    return rate;
}

quint16 freePort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// The engine on a database of the given size; one device sends `events` events.
double engine(const QString& dir, int events) {
    const quint16 port = freePort();
    const QByteArray pic = (dir + "/pic").toUtf8(), dbs = dir.toUtf8();
    if (!LumoSEStart(port, 0, 0, 0, pic.constData(), dbs.constData())) {
        std::fprintf(stderr, "engine did not start\n");
        return 0;
    }
    QWebSocket ws;
    int stored = 0, answered = 0, sent = 0;
    bool registered = false;
    QObject::connect(&ws, &QWebSocket::textMessageReceived, [&](const QString& t) {
        const QString msg = QJsonDocument::fromJson(t.toUtf8()).object().value("msg").toString();
        if (msg == "registered") registered = true;
        else {
            ++answered;
            stored += msg == "stored" ? 1 : 0;
        }
    });
    ws.open(QUrl(QString("ws://127.0.0.1:%1").arg(port)));
    QElapsedTimer wait;
    wait.start();
    while (ws.state() != QAbstractSocket::ConnectedState && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ws.sendTextMessage(R"({"msg":"register","name":"cam-1","type":0})");
    while (!registered && wait.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    // Made before the clock starts: the device's own work is not the engine's.
    QStringList messages;
    for (int i = 0; i < events; ++i)
        messages << QString::fromUtf8(QJsonDocument(QJsonObject{{"msg", "event"},
                                                                {"time", "2026-01-02T03:04:05"},
                                                                {"kind", "motion"},
                                                                {"text", QString("event %1").arg(i)}})
                                          .toJson(QJsonDocument::Compact));
    QElapsedTimer t;
    t.start();
    while (answered < events && t.elapsed() < 600000) {
        while (sent < events && sent - answered < kWindow) ws.sendTextMessage(messages[sent++]);
        ws.flush();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    const double rate = stored * 1000.0 / std::max<qint64>(1, t.elapsed());
    if (stored != events) std::fprintf(stderr, "engine stored %d of %d\n", stored, events);
    ws.close();
    LumoSEStop(port);
    return rate;
}

}  // namespace

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int events = argc > 1 ? std::max(100, atoi(argv[1])) : 3000;
    const int rounds = 5;
    LumoSEInitialize(nullptr);
    QTemporaryDir tmp;
    std::printf("%d events a run, median of %d runs each, taken in turns; folder %s\n", events, rounds,
                qPrintable(QDir::tempPath()));
    std::printf("%-12s %14s %14s %8s\n", "table rows", "engine ev/s", "plain rows/s", "ratio");
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
        std::vector<double> plainRates, engineRates;
        for (int r = 0; r < rounds; ++r) {
            plainRates.push_back(plainLoop(dirPlain + "/plain.db", events));
            engineRates.push_back(engine(dirEngine, events));
        }
        const double plain = median(plainRates), eng = median(engineRates);
        const double ratio = plain > 0 ? eng / plain : 0;
        std::printf("%-12d %14.0f %14.0f %8.3f\n", rows, eng, plain, ratio);
        if (ratio < 0.5) ok = false;
        if (rows == 0) first = eng;
        else if (first > 0 && eng < first / 2) ok = false;
    }
    std::printf("goal: engine within 2x of the plain loop, and at 100000 rows at least half its rate at 0: %s\n",
                ok ? "met" : "NOT met");
    LumoSEInvalidate();
    return ok ? 0 : 1;
}
