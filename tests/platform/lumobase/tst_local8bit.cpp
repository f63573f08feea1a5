// The suite's one conversion to the platform's 8-bit text: whole or refused, and it says how
// many characters had no encoding.
#include <QtTest>

#include "VantelCore/local8bit.h"

namespace {

const QChar kHigh(ushort(0xD83D));  // the first half of a surrogate pair
const QChar kLow(ushort(0xDE00));   // the second half

}  // namespace

class TestLocal8Bit : public QObject {
    Q_OBJECT
private slots:
    void convert_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("unencodable");
        QTest::newRow("plain") << "/tmp/a.dav" << QByteArray("/tmp/a.dav") << 0;
        QTest::newRow("empty") << "" << QByteArray() << 0;
        QTest::newRow("UTF-8, no mark in front")
            << QString::fromUtf8("录像/ä") << QByteArray("\xe5\xbd\x95\xe5\x83\x8f/\xc3\xa4") << 0;
        QTest::newRow("a pair outside the BMP")
            << QString("x") + kHigh + kLow << QByteArray("x\xf0\x9f\x98\x80") << 0;
        QTest::newRow("lone second half") << QString("a") + kLow + "b" << QByteArray("a?b") << 1;
        QTest::newRow("lone first half inside") << QString("a") + kHigh + "b" << QByteArray("a?b") << 1;
        QTest::newRow("lone first half at the end") << QString("ab") + kHigh << QByteArray("ab?") << 1;
        QTest::newRow("two of them") << QString(kLow) + "/" + kLow << QByteArray("?/?") << 2;
    }
    void convert() {
        QFETCH(QString, text);
        const VantelLocal8Bit out = VantelToLocal8Bit(text);
        QTEST(out.bytes, "bytes");
        QTEST(out.unencodable, "unencodable");
        QCOMPARE(out.Whole(), out.unencodable == 0);
    }

    void intoBuffer_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("fits") << "/tmp/a.dav" << 256 << 10 << QByteArray("/tmp/a.dav");
        QTest::newRow("just fits") << "abcd" << 5 << 4 << QByteArray("abcd");
        QTest::newRow("one byte too long: nothing, not a cut path") << "abcde" << 5 << -1 << QByteArray();
        QTest::newRow("UTF-8 counts bytes") << QString::fromUtf8("录像") << 6 << -1 << QByteArray();
        QTest::newRow("UTF-8 whole") << QString::fromUtf8("录像") << 7 << 6
                                     << QByteArray("\xe5\xbd\x95\xe5\x83\x8f");
        QTest::newRow("no encoding: nothing, not another name")
            << QString("a") + kLow << 64 << -1 << QByteArray();
        QTest::newRow("empty") << "" << 1 << 0 << QByteArray();
    }
    void intoBuffer() {
        QFETCH(QString, text);
        QFETCH(int, size);
        QFETCH(QByteArray, expected);
        QByteArray buffer(size + 4, '#');  // guard bytes after the given size
        QTEST(VantelToLocal8Bit(text, buffer.data(), size), "result");
        QCOMPARE(QByteArray(buffer.constData()), expected);
        QCOMPARE(buffer.mid(size), QByteArray(4, '#'));
    }

    void nullAndEmptyBuffers() {
        char c = 'x';
        QCOMPARE(VantelToLocal8Bit("a", nullptr, 16), -1);
        QCOMPARE(VantelToLocal8Bit("a", &c, 0), -1);
        QCOMPARE(c, 'x');
        QVERIFY(VantelFromLocal8Bit(nullptr).isNull());
        QCOMPARE(VantelFromLocal8Bit("\xe5\xbd\x95/a.dav"), QString::fromUtf8("录/a.dav"));
    }
};

QTEST_MAIN(TestLocal8Bit)
#include "tst_local8bit.moc"
