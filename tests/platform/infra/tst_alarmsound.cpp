// Alarm sounds: only real WAV sounds are taken, whatever their names.
#include <QtTest>

#include "VantelSound/alarmsound.h"

class TestAlarmSound : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString Write(const QString& name, const QByteArray& data) {
        QFile f(m_dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly)) return QString();
        f.write(data);
        return f.fileName();
    }

private slots:
    void isSoundFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("sound");
        QByteArray wav("RIFF\x24\x00\x00\x00WAVEfmt ", 16);
        QTest::newRow("wav") << "bell.wav" << wav << true;
        QTest::newRow("wav without extension") << "bell" << wav << true;
        QTest::newRow("text named .wav") << "fake.wav" << QByteArray("just some text here") << false;
        QTest::newRow("riff but not wave")
            << "clip.wav" << QByteArray("RIFF\x24\x00\x00\x00AVI LIST", 16) << false;
        QTest::newRow("truncated") << "short.wav" << QByteArray("RIFF") << false;
        QTest::newRow("empty") << "empty.wav" << QByteArray() << false;
    }
    void isSoundFile() {
        QFETCH(QString, name);
        QFETCH(QByteArray, data);
        QFETCH(bool, sound);
        QCOMPARE(INFRA::AlarmSound::IsSoundFile(Write(name, data)), sound);
    }

    void refusedFilesStaySilentWithAReason_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("result");
        QTest::newRow("missing") << "" << int(INFRA::AlarmSound::Missing);
        QTest::newRow("not a sound") << "notes.wav" << int(INFRA::AlarmSound::NotSound);
    }
    void refusedFilesStaySilentWithAReason() {
        QFETCH(QString, name);
        QFETCH(int, result);
        const QString path =
            name.isEmpty() ? m_dir.filePath("nothing.wav") : Write(name, "plain text, no sound");
        QCOMPARE(INFRA::AlarmSound::Play(path), result);
        QVERIFY(!INFRA::AlarmSound::LastReason().isEmpty());
    }

    void filterNamesOnlyWavFiles() {
        const QString filter = INFRA::AlarmSound::FileFilter("Sounds");
        QCOMPARE(filter, QString("Sounds (*.wav *.WAV)"));
        QVERIFY(!filter.contains("* "));
    }
};

QTEST_MAIN(TestAlarmSound)
#include "tst_alarmsound.moc"
