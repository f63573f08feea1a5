// The record-address type: every kind of address the suite passes around, names holding '&' and
// '=', missing and unknown keys, and build/parse round trips.
#include <QtTest>

#include "LumoFS/LumoRecordAddress.h"

Q_DECLARE_METATYPE(LumoRecordAddress::Scheme)

class TstRecordAddress : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void rejects_data();
    void rejects();
    void buildersRoundTrip_data();
    void buildersRoundTrip();
    void require();
};

void TstRecordAddress::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<LumoRecordAddress::Scheme>("scheme");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("resource");
    // "key=value|key=value" in order
    QTest::addColumn<QString>("params");

    QTest::newRow("disk record") << "lumofs://local/disk=d1&path=blk00003&filename=c01_s0_r0_20260101_000000.dav"
                                 << LumoRecordAddress::SCHEME_LUMOFS << "local" << ""
                                 << "disk=d1|path=blk00003|filename=c01_s0_r0_20260101_000000.dav";
    QTest::newRow("media search") << "lumofs://localhost/media" << LumoRecordAddress::SCHEME_LUMOFS << "localhost"
                                  << "media" << "";
    QTest::newRow("recorder disk stream") << "lumofs://disk=usb1&idc=3&ids=1" << LumoRecordAddress::SCHEME_LUMOFS
                                          << "" << "" << "disk=usb1|idc=3|ids=1";
    QTest::newRow("recorder root") << "lumofs://local/" << LumoRecordAddress::SCHEME_LUMOFS << "local" << ""
                                   << "";
    QTest::newRow("read file") << "filer://local/type=rec&format=dav&filename=/home/op/rec/a.dav"
                               << LumoRecordAddress::SCHEME_FILER << "local" << ""
                               << "type=rec|format=dav|filename=/home/op/rec/a.dav";
    QTest::newRow("scheme case") << "FILER://local/type=rec&format=mp4&filename=/a.mp4"
                                 << LumoRecordAddress::SCHEME_FILER << "local" << ""
                                 << "type=rec|format=mp4|filename=/a.mp4";
    QTest::newRow("write folder") << "filew://local/type=pic&format=jpg&pathname=/tmp/snaps"
                                  << LumoRecordAddress::SCHEME_FILEW << "local" << ""
                                  << "type=pic|format=jpg|pathname=/tmp/snaps";
    QTest::newRow("write folder and name")
        << "filew://local/type=rec&format=mp4&pathname=/tmp/out&filename=clip 1.mp4"
        << LumoRecordAddress::SCHEME_FILEW << "local" << "" << "type=rec|format=mp4|pathname=/tmp/out|filename=clip 1.mp4";
    QTest::newRow("& and = in file name")
        << "filer://local/type=rec&format=dav&filename=/rec/a&b=c.dav" << LumoRecordAddress::SCHEME_FILER << "local"
        << "" << "type=rec|format=dav|filename=/rec/a&b=c.dav";
    QTest::newRow("& and = in folder") << "filew://local/type=pic&format=bmp&pathname=/x/a=1&b&filename=s.bmp"
                                       << LumoRecordAddress::SCHEME_FILEW << "local" << ""
                                       << "type=pic|format=bmp|pathname=/x/a=1&b|filename=s.bmp";
    QTest::newRow("unknown key inside a value")
        << "lumofs://local/disk=d1&path=blk00001&filename=x&foo=1.dav" << LumoRecordAddress::SCHEME_LUMOFS << "local"
        << "" << "disk=d1|path=blk00001|filename=x&foo=1.dav";
    QTest::newRow("range") << "filer://local/type=rec&format=dav&filename=/a.dav&from=2026-01-01T00:00:00&len=30"
                           << LumoRecordAddress::SCHEME_FILER << "local" << ""
                           << "type=rec|format=dav|filename=/a.dav|from=2026-01-01T00:00:00|len=30";
    QTest::newRow("absolute folder in lumofs") << "lumofs://disk=a&path=/mnt/x&filename=f.dav"
                                               << LumoRecordAddress::SCHEME_LUMOFS << "" << ""
                                               << "disk=a|path=/mnt/x|filename=f.dav";
    QTest::newRow("empty value") << "filer://local/type=rec&format=&filename=/a" << LumoRecordAddress::SCHEME_FILER
                                 << "local" << "" << "type=rec|format=|filename=/a";
}

void TstRecordAddress::parse() {
    QFETCH(QString, text);
    QFETCH(LumoRecordAddress::Scheme, scheme);
    QFETCH(QString, host);
    QFETCH(QString, resource);
    QFETCH(QString, params);
    LumoRecordAddress a;
    std::string error;
    QVERIFY2(LumoRecordAddress::Parse(text.toStdString(), &a, &error), error.c_str());
    QCOMPARE(a.GetScheme(), scheme);
    QCOMPARE(QString::fromStdString(a.GetHost()), host);
    QCOMPARE(QString::fromStdString(a.GetResource()), resource);
    QStringList got;
    for (const auto& kv : a.Params()) got << QString::fromStdString(kv.first + "=" + kv.second);
    QCOMPARE(got.join('|'), params);
    // What was parsed builds back to the same address (the scheme in lower case).
    QCOMPARE(QString::fromStdString(a.Build()), text.left(text.indexOf("://")).toLower() + text.mid(text.indexOf("://")));
}

void TstRecordAddress::rejects_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("why");
    QTest::newRow("empty") << "" << "not a record address";
    QTest::newRow("plain path") << "/home/op/a.dav" << "not a record address";
    QTest::newRow("other scheme") << "rtsp://cam/stream" << "not a record address";
    QTest::newRow("unknown first key") << "filer://local/kind=rec&filename=/a" << "unknown parameter \"kind\"";
    QTest::newRow("key twice") << "lumofs://local/disk=a&disk=b&path=blk00001&filename=f" << "given twice";
    QTest::newRow("no value") << "filer://local/type" << "without parameters";
    QTest::newRow("dangling &") << "filer://local/a&b" << "without a value";
}

void TstRecordAddress::rejects() {
    QFETCH(QString, text);
    QFETCH(QString, why);
    LumoRecordAddress a;
    std::string error;
    QVERIFY(!LumoRecordAddress::Parse(text.toStdString(), &a, &error));
    QVERIFY2(QString::fromStdString(error).contains(why), error.c_str());
}

void TstRecordAddress::buildersRoundTrip_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<QString>("c");
    QTest::addColumn<QString>("expected");
    QTest::newRow("disk record") << 0 << "disk2" << "blk00007" << "c02_s1_r0_20260102_030405.dav"
                                 << "lumofs://local/disk=disk2&path=blk00007&filename=c02_s1_r0_20260102_030405.dav";
    QTest::newRow("read file with & and =") << 1 << "dav" << "/rec/x&filename=y.dav" << ""
                                            << "filer://local/type=rec&format=dav&filename=/rec/x%26filename=y.dav";
    QTest::newRow("folder holding a key and escapes")
        << 2 << "rec" << "mp4" << "/v/a&format=b%26c%25d%e"
        << "filew://local/type=rec&format=mp4&pathname=/v/a%26format=b%2526c%2525d%e";
    QTest::newRow("snapshot folder") << 2 << "pic" << "jpg" << "/tmp/a=b&c"
                                     << "filew://local/type=pic&format=jpg&pathname=/tmp/a=b&c";
}

void TstRecordAddress::buildersRoundTrip() {
    QFETCH(int, kind);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(QString, c);
    QFETCH(QString, expected);
    LumoRecordAddress built;
    if (kind == 0) built = LumoRecordAddress::DiskRecord(a.toStdString(), b.toStdString(), c.toStdString());
    if (kind == 1) built = LumoRecordAddress::ReadFile(a.toStdString(), b.toStdString());
    if (kind == 2) built = LumoRecordAddress::WriteFolder(a.toStdString(), b.toStdString(), c.toStdString());
    QCOMPARE(QString::fromStdString(built.Build()), expected);
    // A value holding "&<key>=" or "%25"/"%26" comes back whole, never as a second key.
    LumoRecordAddress back;
    QVERIFY(LumoRecordAddress::Parse(built.Build(), &back));
    QCOMPARE(back.GetScheme(), built.GetScheme());
    QCOMPARE(back.Params(), built.Params());
}

void TstRecordAddress::require() {
    LumoRecordAddress a;
    QVERIFY(LumoRecordAddress::Parse("lumofs://local/disk=d&filename=f.dav", &a));
    std::string missing;
    QVERIFY(!a.Require({"disk", "path", "filename"}, &missing));
    QCOMPARE(missing, std::string("path"));
    QVERIFY(a.Require({"disk", "filename"}));
    a.Set("path", "blk00001");
    QVERIFY(a.Require({"disk", "path", "filename"}, &missing));
    QCOMPARE(a.Build(), std::string("lumofs://local/disk=d&filename=f.dav&path=blk00001"));
}

QTEST_APPLESS_MAIN(TstRecordAddress)
#include "tst_recordaddress.moc"
