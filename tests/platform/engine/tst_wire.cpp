// Numbers that a remote recorder (or a client) sends: every one is checked against the field it
// fills before it is taken, so no huge, fractional, negative or non-finite value turns into some
// other number on the way.
#include <QtTest>
#include <limits>

#include "wire.h"

namespace {

// The value of "v" in the JSON text {"v": <text>}; undefined when the text is no JSON.
QJsonValue ValueOf(const QByteArray& text) {
    return QJsonDocument::fromJson("{\"v\": " + text + "}").object().value("v");
}

}  // namespace

class TestWire : public QObject {
    Q_OBJECT
private slots:
    void intFromJson_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<qint64>("lo");
        QTest::addColumn<qint64>("hi");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("value");
        const qint64 min = std::numeric_limits<qint64>::min(), max = std::numeric_limits<qint64>::max();
        QTest::newRow("small") << QByteArray("42") << min << max << true << qint64(42);
        QTest::newRow("negative") << QByteArray("-7") << min << max << true << qint64(-7);
        QTest::newRow("zero as 0.0") << QByteArray("0.0") << qint64(0) << qint64(10) << true << qint64(0);
        QTest::newRow("2^53") << QByteArray("9007199254740992") << min << max << true
                              << qint64(9007199254740992);
        QTest::newRow("decimal text") << QByteArray("\"9223372036854775807\"") << min << max << true << max;
        QTest::newRow("hex text") << QByteArray("\"0x10\"") << min << max << true << qint64(16);
        QTest::newRow("at the top of the range")
            << QByteArray("65535") << qint64(0) << qint64(65535) << true << qint64(65535);
        QTest::newRow("1e300") << QByteArray("1e300") << min << max << false << qint64(0);
        QTest::newRow("-1e300") << QByteArray("-1e300") << min << max << false << qint64(0);
        QTest::newRow("1e400, beyond any double") << QByteArray("1e400") << min << max << false << qint64(0);
        QTest::newRow("2^63") << QByteArray("9223372036854775808") << min << max << false << qint64(0);
        QTest::newRow("-2^63 - 2^11")
            << QByteArray("-9223372036854777856") << min << max << false << qint64(0);
        QTest::newRow("2^63 as text")
            << QByteArray("\"9223372036854775808\"") << min << max << false << qint64(0);
        QTest::newRow("2^64 as hex text")
            << QByteArray("\"0x10000000000000000\"") << min << max << false << qint64(0);
        QTest::newRow("2^63 as hex text")
            << QByteArray("\"0x8000000000000000\"") << min << max << false << qint64(0);
        QTest::newRow("1.5") << QByteArray("1.5") << min << max << false << qint64(0);
        QTest::newRow("-0.5") << QByteArray("-0.5") << min << max << false << qint64(0);
        QTest::newRow("NaN, no JSON") << QByteArray("NaN") << min << max << false << qint64(0);
        QTest::newRow("text of no number") << QByteArray("\"12abc\"") << min << max << false << qint64(0);
        QTest::newRow("true") << QByteArray("true") << min << max << false << qint64(0);
        QTest::newRow("null") << QByteArray("null") << min << max << false << qint64(0);
        QTest::newRow("a list") << QByteArray("[1]") << min << max << false << qint64(0);
        QTest::newRow("negative where no sign") << QByteArray("-1") << qint64(0) << max << false << qint64(0);
        QTest::newRow("negative text where no sign")
            << QByteArray("\"-1\"") << qint64(0) << max << false << qint64(0);
        QTest::newRow("one above a 16-bit field")
            << QByteArray("65536") << qint64(0) << qint64(65535) << false << qint64(0);
    }
    void intFromJson() {
        QFETCH(QByteArray, json);
        QFETCH(qint64, lo);
        QFETCH(qint64, hi);
        QFETCH(bool, ok);
        int64_t n = -12345;
        std::string why;
        QCOMPARE(kesto::wire::IntFromJson(ValueOf(json), lo, hi, &n, &why), ok);
        if (ok) {
            QTEST(qint64(n), "value");
            return;
        }
        QCOMPARE(n, int64_t(-12345));  // left alone
        QVERIFY(!why.empty());
    }

    // JSON text holds no NaN or infinity, but a value made in this process may.
    void notFinite() {
        int64_t n = 0;
        std::string why;
        const qint64 min = std::numeric_limits<qint64>::min(), max = std::numeric_limits<qint64>::max();
        QVERIFY(!kesto::wire::IntFromJson(QJsonValue(qQNaN()), min, max, &n, &why));
        QVERIFY(!kesto::wire::IntFromJson(QJsonValue(qInf()), min, max, &n, &why));
        QVERIFY(!kesto::wire::IntFromJson(QJsonValue(-qInf()), min, max, &n, &why));
        uint64_t u = 0;
        QVERIFY(!kesto::wire::U64FromJson(QJsonValue(qQNaN()), &u));
    }

    // A row with a number its field cannot hold is refused whole, and the reason names the field.
    void rows_data() {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<QByteArray>("row");
        QTest::addColumn<QByteArray>("field");  // empty: taken
        QTest::newRow("disk") << QByteArray("disk")
                              << QByteArray(R"({"id":3,"type":1,"totalKB":1000,"usedKB":10,"state":5})")
                              << QByteArray();
        QTest::newRow("disk without numbers")
            << QByteArray("disk") << QByteArray(R"({"name":"a"})") << QByteArray();
        QTest::newRow("disk, huge id")
            << QByteArray("disk") << QByteArray(R"({"id":1e300})") << QByteArray("id");
        QTest::newRow("disk, negative size")
            << QByteArray("disk") << QByteArray(R"({"totalKB":-1})") << QByteArray("totalKB");
        QTest::newRow("disk, negative state")
            << QByteArray("disk") << QByteArray(R"({"state":-1})") << QByteArray("state");
        QTest::newRow("disk, fractional type")
            << QByteArray("disk") << QByteArray(R"({"type":1.5})") << QByteArray("type");
        QTest::newRow("channel") << QByteArray("channel")
                                 << QByteArray(R"({"id":1,"streams":[{"id":0,"width":1920,"height":1080}]})")
                                 << QByteArray();
        QTest::newRow("channel, width beyond 16 bits")
            << QByteArray("channel") << QByteArray(R"({"id":1,"streams":[{"width":70000}]})")
            << QByteArray("width");
        QTest::newRow("channel, negative codec")
            << QByteArray("channel") << QByteArray(R"({"id":1,"streams":[{"videoCodec":-1}]})")
            << QByteArray("videoCodec");
        QTest::newRow("block") << QByteArray("block")
                               << QByteArray(R"({"id":2,"idb":7,"frames":100,"stream":1})") << QByteArray();
        QTest::newRow("block, -2^63 id")
            << QByteArray("block") << QByteArray(R"({"id":-9223372036854775808})") << QByteArray();
        QTest::newRow("block, 2^63 frames")
            << QByteArray("block") << QByteArray(R"({"frames":9223372036854775808})") << QByteArray("frames");
        QTest::newRow("block, stream beyond 8 bits")
            << QByteArray("block") << QByteArray(R"({"stream":256})") << QByteArray("stream");
        QTest::newRow("block, idb beyond int")
            << QByteArray("block") << QByteArray(R"({"idb":4294967296})") << QByteArray("idb");
    }
    void rows() {
        QFETCH(QByteArray, kind);
        QFETCH(QByteArray, row);
        QFETCH(QByteArray, field);
        const QJsonObject o = QJsonDocument::fromJson(row).object();
        std::string why;
        IVantelData* r = kind == "disk" ? static_cast<IVantelData*>(kesto::wire::DiskFromJson(o, &why))
                         : kind == "channel"
                             ? static_cast<IVantelData*>(kesto::wire::ChannelFromJson(o, &why))
                             : static_cast<IVantelData*>(kesto::wire::BlockFromJson(o, &why));
        if (field.isEmpty()) {
            QVERIFY2(r, why.c_str());
            r->Release();
            return;
        }
        QVERIFY(!r);
        QVERIFY2(QByteArray::fromStdString(why).contains(field), why.c_str());
    }

    // A search answer's file numbers are checked too: a width that no picture has, a negative
    // size, are not cut down to something else.
    void searchAnswerNumbers_data() {
        QTest::addColumn<QByteArray>("numbers");  // channel..recordType, cuid, size..fileIndex
        QTest::addColumn<bool>("ok");
        QTest::newRow("plain") << QByteArray(R"(0,0,1,"c",1000,1920,1080,2,0,25,0,3,1)") << true;
        QTest::newRow("unknown frame rate") << QByteArray(R"(0,0,1,"c",1000,1920,1080,2,0,-1,0,3,1)") << true;
        QTest::newRow("width beyond 16 bits")
            << QByteArray(R"(0,0,1,"c",1000,70000,1080,2,0,25,0,3,1)") << false;
        QTest::newRow("negative size") << QByteArray(R"(0,0,1,"c",-1,1920,1080,2,0,25,0,3,1)") << false;
        QTest::newRow("codec beyond 8 bits")
            << QByteArray(R"(0,0,1,"c",1000,1920,1080,300,0,25,0,3,1)") << false;
        QTest::newRow("channel beyond int")
            << QByteArray(R"(4294967296,0,1,"c",1000,1920,1080,2,0,25,0,3,1)") << false;
        QTest::newRow("a fraction") << QByteArray(R"(0,0,1,"c",1000.5,1920,1080,2,0,25,0,3,1)") << false;
        QTest::newRow("beyond 64 bits") << QByteArray(R"(0,0,1,"c",1e300,1920,1080,2,0,25,0,3,1)") << false;
    }
    void searchAnswerNumbers() {
        QFETCH(QByteArray, numbers);
        QFETCH(bool, ok);
        std::string fields;
        for (int i = 0; i < kesto::wire::kFileFieldCount; ++i)
            fields += std::string(i ? "," : "") + "\"" + kesto::wire::kFileFields[i] + "\"";
        const std::string body = "{\"fields\":[" + fields +
                                 "],\"files\":[[\"d\",\"blk00000\",\"f.dav\",null,null," +
                                 numbers.toStdString() + "]],\"cursor\":\"1\",\"more\":false}";
        int seen = 0;
        uint64_t cursor = 0;
        bool more = true;
        std::string why;
        QCOMPARE(
            kesto::wire::ReadSearchAnswer(
                body, "http://h/records/", [&seen](const CLumoFileDesc&) { ++seen; }, &cursor, &more, &why),
            ok);
        QCOMPARE(seen, ok ? 1 : 0);
        if (!ok) QVERIFY(!why.empty());
    }
};

QTEST_MAIN(TestWire)
#include "tst_wire.moc"
