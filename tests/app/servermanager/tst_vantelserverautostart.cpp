// The management console and the user's autostart entry: its start leaves the entry as it is
// (whatever the settings file says), and only the operator's switch writes or removes it;
// switching it on keeps the arguments of an entry that starts this program.
#include <QApplication>
#include <QCheckBox>
#include <QResource>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

#include "LumoSServer/LumoSServer.h"
#include "VantelInfraAPI/notifier.h"
#include "VantelInfraAPI/testseams.h"
#include "VantelInfraAPI/vantelutility.h"
#include "serverdata.h"
#include "testsupport.h"
#include "vantelserver.h"

namespace {

QByteArray entryText(const QString& exec) {
    return "[Desktop Entry]\nType=Application\nName=VantelServer\nExec=" + exec.toUtf8() +
           "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString execLine(const QByteArray& text) {
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith("Exec=")) return QString::fromUtf8(line);
    return QString();
}

}  // namespace

class TestVantelServerAutostart : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QTcpServer m_blocker;  // the engine need not run here: its port is taken

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("VANTEL_INSTANCE_SCOPE",
                QByteArray("tst_vantelserverautostart-") + QByteArray::number(getpid()));
        qputenv("HOME", m_dir.filePath("home").toUtf8());
        INFRA::TestSeams::SetUiLogPath(m_dir.filePath("ui.log"));
        INFRA::TestSeams::SetScriptedReply("ok");
        const QString prog = m_dir.filePath("prog");
        QVERIFY(QDir().mkpath(prog));
        INFRA::TestSeams::SetProgramDir(prog);
        const QString bin = qEnvironmentVariable("VANTEL_BIN_DIR");
        QVERIFY(QResource::registerResource(bin + "/vantelres.xdll"));
        QVERIFY(QDir::setCurrent(prog));
        QVERIFY(m_blocker.listen(QHostAddress::Any, vt::ReservePort()));
        // The settings say "no autostart" while an entry may exist: the start must not act on it.
        ServerDataStore::UseSettingsFile(m_dir.filePath("VantelServer.ini"));
        {
            QSettings s(ServerDataStore::SettingsFile(), QSettings::IniFormat);
            s.setValue("PgConfigData/port", m_blocker.serverPort());
            s.setValue("PgConfigData/runstartup", false);
        }
        LumoSInitialize();
        LumoSSetDataPath(m_dir.filePath("engine").toUtf8().constData());
    }

    void cleanupTestCase() {
        // The start balloons (shown as pop-ups here, without a tray) outlive this short run.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<INFRA::NotifierPopup*>(w)) delete w;
        LumoSInvalidate();
        qunsetenv("XDG_CONFIG_HOME");
    }

    // entry: "absent", "ours -s" (this program, quoted, with -s) or "other" (another copy's path
    // with -s); action: "start", "on" or "off"; execAfter: the entry's Exec line afterwards
    // ("" no entry, "same" byte for byte as before, else "ours" or "ours -s").
    void entryAfter_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("after");
        for (const char* entry : {"absent", "ours -s", "other"}) {
            const QString e = QLatin1String(entry);
            QTest::newRow(qPrintable(e + ", start")) << e << "start" << (e == "absent" ? "" : "same");
            QTest::newRow(qPrintable(e + ", on")) << e << "on" << (e == "ours -s" ? "ours -s" : "ours");
            QTest::newRow(qPrintable(e + ", off")) << e << "off"
                                                   << "";
        }
    }
    void entryAfter() {
        QFETCH(QString, entry);
        QFETCH(QString, action);
        QFETCH(QString, after);
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        const QString path = VantelUtility::AutoRunEntryPath();
        QVERIFY(path.startsWith(config.path()));
        const QString ours = QCoreApplication::applicationFilePath();
        QVERIFY2(!ours.contains(' ') && !ours.contains('"') && !ours.contains('\\'),
                 "the test program's path needs no quoting");
        QByteArray before;
        if (entry != "absent") {
            before = entryText(entry == "other" ? QStringLiteral("\"/opt/vantel/VantelServer\" -s")
                                                : QStringLiteral("\"%1\" -s").arg(ours));
            QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(before), before.size());
        }

        auto* window = new VantelServer(nullptr, nullptr);
        QCheckBox* box = window->GetForm().CbAutostart;
        QCOMPARE(box->isChecked(), entry != "absent");
        if (action == "on") {
            box->setChecked(false);  // as shown for an entry the desktop switched off
            box->click();
            QVERIFY(box->isChecked());
        } else if (action == "off") {
            box->setChecked(true);
            box->click();
            QVERIFY(!box->isChecked());
        }
        QCoreApplication::processEvents();
        delete window;

        if (after.isEmpty()) {
            QVERIFY(!QFile::exists(path));
        } else if (after == "same") {
            QCOMPARE(readAll(path), before);
        } else {
            const QByteArray text = readAll(path);
            QCOMPARE(execLine(text), QStringLiteral("Exec=") + ours + (after == "ours -s" ? " -s" : ""));
            QVERIFY(VantelUtility::AutoRunWithSystem());
        }
    }
};

QTEST_MAIN(TestVantelServerAutostart)
#include "tst_vantelserverautostart.moc"
