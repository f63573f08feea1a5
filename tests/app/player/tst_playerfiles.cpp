// The player's files: every settings and play-list field survives a save and a load, a save
// that dies half-way (killed, or abandoned before it is committed) leaves the old file whole,
// files of earlier versions with raw "&" and "<" still read, list names never leave the lists
// folder, and the ini files are rewritten in the user's folder only.
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "LumoFS/LumoRecordAddress.h"
#include "player/playercontext.h"

Q_DECLARE_METATYPE(PlayerSettings)

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteRaw(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

std::string Local(const std::string& path) {
    return LumoRecordAddress::ReadFile("dav", path).Build();
}

CLumoTime Time(const char* iso) {
    CLumoTime t;
    t.ParseISO8601(iso);
    return t;
}

// Settings unlike the defaults in every field, with texts that need escaping.
PlayerSettings Unusual(const QString& root) {
    PlayerSettings s;
    s.language = QStringLiteral("中文 & <Chinese>");
    s.capPicFormat = 35;
    s.capPicFolder = root + QStringLiteral("/snap & <shots>/\"q\" 'a'");
    s.cutRecordFormat = 1;
    s.cutRecordSize = 512;
    s.cutRecordFolder = root + QStringLiteral("/cuts]]>&amp;");
    s.backupFormat = 2;
    s.backupFolder = root + QStringLiteral("/back up/ü");
    s.exitKeepPlaylistFiles = 1;
    s.stick = 2;
    s.listNames = QStringList{QStringLiteral("Night & <day>")};
    s.currentListName = QStringLiteral("Night & <day>");
    s.urlRecords = QStringList{QStringLiteral("rtsp://u:p@10.0.0.1:554/mode=real&idc=1&ids=2"),
                               QStringLiteral("quii://10.0.0.2:34567/mode=real&amp;idc=3&ids=1"),
                               QStringLiteral("rtsp://cam/a<b>")};
    return s;
}

void FillList(CLumoPlayFileList* list) {
    struct Row {
        std::string url;
        const char *timeS, *timeE;
        uint64_t length;
        uint16_t width, height;
        uint8_t vcodec, acodec;
        int rate;
    };
    const Row rows[] = {
        {Local("/rec/a&b <1>.dav"), "2024-05-01T10:00:00", "2024-05-01T10:30:00.250", 18446744073709551615ULL,
         65535, 40000, 255, 8, 25},
        {LumoRecordAddress::DiskRecord("usb & 1", "blk0", "1_2_3_4_5_6.dav").Build(), "2063-12-31T23:59:59",
         "2063-12-31T23:59:59", 0, 0, 0, 0, 0, -1},
        {"rtsp://cam:554/mode=real&idc=1&ids=1", nullptr, nullptr, 0, 1280, 720, 1, 0, 0},
    };
    for (const Row& r : rows) {
        auto f = std::make_unique<CLumoFile>();
        f->SetUrl(r.url);
        if (r.timeS) f->timeS = Time(r.timeS);
        if (r.timeE) f->timeE = Time(r.timeE);
        f->length = r.length;
        f->width = r.width;
        f->height = r.height;
        f->videoCodec = r.vcodec;
        f->audioCodec = r.acodec;
        f->frameRate = r.rate;
        QCOMPARE(list->AddTail(f), 0);
    }
}

void CompareLists(const CLumoPlayFileList& a, const CLumoPlayFileList& b) {
    QCOMPARE(a.GetCount(), b.GetCount());
    for (int i = 0; i < a.GetCount(); ++i) {
        const CLumoFile *x = a.GetAt(i), *y = b.GetAt(i);
        QCOMPARE(y->url, x->url);
        QCOMPARE(int(y->type), int(x->type));
        QCOMPARE(y->name, x->name);
        QCOMPARE(y->path, x->path);
        QVERIFY(y->timeS == x->timeS);
        QCOMPARE(y->timeS.GetMS(), x->timeS.GetMS());
        QVERIFY(y->timeE == x->timeE);
        QCOMPARE(y->timeE.GetMS(), x->timeE.GetMS());
        QCOMPARE(y->length, x->length);
        QCOMPARE(y->width, x->width);
        QCOMPARE(y->height, x->height);
        QCOMPARE(y->videoCodec, x->videoCodec);
        QCOMPARE(y->audioCodec, x->audioCodec);
        QCOMPARE(y->frameRate, x->frameRate);
    }
}

// The files under root, relative to it.
QStringList FilesUnder(const QString& root) {
    QStringList out;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) out << QDir(root).relativeFilePath(it.next());
    out.sort();
    return out;
}

// The save that the test kills: runs in a child process and stops for good when the new content
// is written but not yet in place.
int RunSaveChild(char** argv) {
    const QString kind = QString::fromLocal8Bit(argv[2]);
    const QString root = QString::fromLocal8Bit(argv[3]);
    CPlayerContext ctx(root + "/app", root + "/config", root + "/data");
    const CommitGate stall = [] {
        std::printf("writing\n");
        std::fflush(stdout);
        for (;;) pause();
        return true;
    };
    if (kind == "ini")
        return CPlayerContext::NormalizeIni(ctx.shippedConfigIni, ctx.configIniPath, nullptr, stall);
    ctx.settings = Unusual(root);
    if (kind == "settings") return ctx.SaveConfig(nullptr, nullptr, stall);
    CLumoPlayFileList list(ctx.settings.currentListName.toStdString(), 0, false);
    FillList(&list);
    return ctx.SaveConfig(&list, nullptr, stall);
}

}  // namespace

class TestPlayerFiles : public QObject {
    Q_OBJECT

private slots:
    void settingsRoundTrip_data();
    void settingsRoundTrip();
    void playListRoundTrip();
    void addressBytesKept_data();
    void addressBytesKept();
    void contextRoundTrip();
    void interruptedSave_data();
    void interruptedSave();
    void legacyFiles_data();
    void legacyFiles();
    void writtenBytes_data();
    void writtenBytes();
    void bothFormsRead_data();
    void bothFormsRead();
    void readerRules();
    void hostileListNames_data();
    void hostileListNames();
    void iniRewrittenInUserFolder();
    void outputFoldersCreated();
};

void TestPlayerFiles::settingsRoundTrip_data() {
    QTest::addColumn<PlayerSettings>("in");
    QTest::addColumn<PlayerSettings>("expected");
    PlayerSettings defaults;
    defaults.capPicFolder = "/s";
    defaults.cutRecordFolder = "/c";
    defaults.backupFolder = "/b";
    QTest::newRow("defaults") << defaults << defaults;
    const PlayerSettings unusual = Unusual("/home/u");
    QTest::newRow("every field, texts to escape") << unusual << unusual;
    PlayerSettings dropped = unusual;
    dropped.exitKeepPlaylistFiles = 0;
    PlayerSettings back = dropped;
    back.listNames.clear();
    back.currentListName = "Playlist";
    QTest::newRow("lists not kept") << dropped << back;
}

void TestPlayerFiles::settingsRoundTrip() {
    QFETCH(PlayerSettings, in);
    QTemporaryDir dir;
    const QString path = dir.path() + "/PlayerConfig.xml";
    QString error;
    QVERIFY2(WriteFileAtomically(path, SettingsXml(in), &error), qPrintable(error));
    PlayerSettings out;
    out.capPicFolder = "/default";
    QVERIFY2(ReadSettings(path, &out, &error), qPrintable(error));
    QTEST(out, "expected");
}

void TestPlayerFiles::playListRoundTrip() {
    QTemporaryDir dir;
    CLumoPlayFileList list("Playlist", 0, false);
    FillList(&list);
    const QString path = dir.path() + "/list.xml";
    QString error;
    QVERIFY2(WriteFileAtomically(path, PlayListXml(list), &error), qPrintable(error));
    CLumoPlayFileList back("Playlist", 0, false);
    QVERIFY2(ReadPlayList(path, &back, &error), qPrintable(error));
    CompareLists(list, back);
}

void TestPlayerFiles::addressBytesKept_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("asText");  // stored as it reads, no escapes
    QTest::newRow("not UTF-8") << QByteArray("/rec/caf\xe9.dav") << false;
    QTest::newRow("not UTF-8, and a look-alike escape") << QByteArray("/rec/%E9 caf\xe9%25.dav") << false;
    QTest::newRow("a folder not UTF-8") << QByteArray("/rec/\xff\xfe/a&b <1>.dav") << false;
    QTest::newRow("a control character") << QByteArray("/rec/a\x01" "b.dav") << false;
    QTest::newRow("UTF-8 stays text") << QByteArray("/rec/caf\xc3\xa9 %E9.dav") << true;
}

void TestPlayerFiles::addressBytesKept() {
    QFETCH(QByteArray, path);
    QFETCH(bool, asText);
    QTemporaryDir dir;
    CPlayerContext ctx(dir.path() + "/app", dir.path() + "/config", dir.path() + "/data");
    CLumoPlayFileList list("Playlist", 0, false);
    auto f = std::make_unique<CLumoFile>();
    f->SetUrl(Local(path.toStdString()));
    QCOMPARE(list.AddTail(f), 0);
    QString error;
    QVERIFY2(ctx.SaveConfig(&list, &error), qPrintable(error));
    const QByteArray text = ReadAll(ctx.PlayListFile("Playlist"));
    // The file stays readable text: valid UTF-8 throughout.
    QCOMPARE(QString::fromUtf8(text).toUtf8(), text);
    QCOMPARE(text.contains(QByteArray("filename=") + path.mid(0, 5)), true);
    QCOMPARE(text.contains(path), asText);

    CPlayerContext next(dir.path() + "/app", dir.path() + "/config", dir.path() + "/data");
    QVERIFY2(next.LoadConfig(&error), qPrintable(error));
    QCOMPARE(next.loadedPlayList.GetCount(), 1);
    QCOMPARE(QByteArray::fromStdString(next.loadedPlayList.GetHead()->url),
             QByteArray::fromStdString(Local(path.toStdString())));
    QCOMPARE(QByteArray::fromStdString(next.loadedPlayList.GetHead()->path), path);
}

void TestPlayerFiles::contextRoundTrip() {
    QTemporaryDir dir;
    const QString root = dir.path();
    {
        CPlayerContext ctx(root + "/app", root + "/config", root + "/data");
        ctx.settings = Unusual(root);
        CLumoPlayFileList list(ctx.settings.currentListName.toStdString(), 0, false);
        FillList(&list);
        QString error;
        QVERIFY2(ctx.SaveConfig(&list, &error), qPrintable(error));
    }
    CPlayerContext ctx(root + "/app", root + "/config", root + "/data");
    QString error;
    QVERIFY2(ctx.LoadConfig(&error), qPrintable(error));
    QCOMPARE(ctx.settings, Unusual(root));
    QCOMPARE(QString::fromStdString(ctx.loadedPlayList.GetName()), Unusual(root).currentListName);
    CLumoPlayFileList expected("x", 0, false);
    FillList(&expected);
    CompareLists(expected, ctx.loadedPlayList);
}

void TestPlayerFiles::interruptedSave_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("kill");
    for (const char* kind : {"settings", "playlist", "ini"}) {
        QTest::newRow(qPrintable(QString("%1, killed while writing").arg(kind))) << kind << true;
        QTest::newRow(qPrintable(QString("%1, not committed").arg(kind))) << kind << false;
    }
}

void TestPlayerFiles::interruptedSave() {
    QFETCH(QString, kind);
    QFETCH(bool, kill);
    QTemporaryDir dir;
    const QString root = dir.path();
    CPlayerContext ctx(root + "/app", root + "/config", root + "/data");

    // The old files: a first save with other values, and an ini copy in the user's folder.
    ctx.settings.urlRecords = QStringList{"rtsp://old/one"};
    ctx.settings.currentListName = Unusual(root).currentListName;
    CLumoPlayFileList oldList(ctx.settings.currentListName.toStdString(), 0, false);
    auto f = std::make_unique<CLumoFile>();
    f->SetUrl(Local("/old/one.dav"));
    QCOMPARE(oldList.AddTail(f), 0);
    QString error;
    QVERIFY2(ctx.SaveConfig(&oldList, &error), qPrintable(error));
    WriteRaw(ctx.shippedConfigIni, "[App]\r\nApp=C:\\new\\title\r\n");
    WriteRaw(ctx.configIniPath, "\xEF\xBB\xBF[App]\nApp=old/title\n");
    const QString target = kind == "ini"        ? ctx.configIniPath
                           : kind == "settings" ? ctx.settingsPath
                                                : ctx.PlayListFile(ctx.settings.currentListName);
    const QByteArray before = ReadAll(target);
    QVERIFY(!before.isEmpty());

    if (kill) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--save-child", kind, root});
        QVERIFY(child.waitForStarted());
        while (!child.canReadLine()) QVERIFY2(child.waitForReadyRead(60000), "the save never started");
        QCOMPARE(child.readLine(), QByteArray("writing\n"));
        child.kill();  // SIGKILL: nothing of the child's runs after it
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    } else {
        const CommitGate abandon = [] { return false; };
        bool saved;
        if (kind == "ini") {
            saved = CPlayerContext::NormalizeIni(ctx.shippedConfigIni, ctx.configIniPath, &error, abandon);
        } else {
            ctx.settings = Unusual(root);
            CLumoPlayFileList list(ctx.settings.currentListName.toStdString(), 0, false);
            FillList(&list);
            saved = ctx.SaveConfig(kind == "settings" ? nullptr : &list, &error, abandon);
        }
        QVERIFY(!saved);
        QVERIFY(!error.isEmpty());
    }
    QCOMPARE(ReadAll(target), before);

    // And what is there still reads.
    CPlayerContext next(root + "/app", root + "/config", root + "/data");
    if (kind != "ini") {
        QVERIFY2(next.LoadConfig(&error), qPrintable(error));
        QCOMPARE(next.settings.urlRecords, QStringList{"rtsp://old/one"});
        QCOMPARE(next.loadedPlayList.GetCount(), 1);
        QCOMPARE(next.loadedPlayList.GetHead()->url, Local("/old/one.dav"));
    }
}

void TestPlayerFiles::legacyFiles_data() {
    QTest::addColumn<QByteArray>("settingsFile");
    QTest::addColumn<QByteArray>("listFile");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("listName");
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<QString>("uri");

    // As the earlier versions wrote them: CRLF and tabs, no escaping but "&amp;" in addresses.
    auto settings = [](const QByteArray& folder, const QByteArray& list, const QByteArray& url) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Config>\r\n\t<Setting>\r\n\t\t<Common>"
               "\r\n\t\t\t<Language>English</Language>\r\n\t\t\t<CapPicFormat>35</CapPicFormat>"
               "\r\n\t\t\t<CapPicFolder>" +
               folder +
               "</CapPicFolder>\r\n\t\t\t<Stick>1</Stick>\r\n\t\t</Common>\r\n\t</Setting>\r\n\t<Play>"
               "\r\n\t\t<PlayFileLists>\r\n\t\t\t<ListNum>1</ListNum>\r\n\t\t\t<ListItem>" +
               list + "</ListItem>\r\n\t\t\t<CurrentListName>" + list +
               "</CurrentListName>\r\n\t\t</PlayFileLists>\r\n\t</Play>\r\n\t<UrlRecords>"
               "\r\n\t\t<ItemCount>1</ItemCount>\r\n\t\t\t<Url>" +
               url + "</Url>\r\n\t</UrlRecords>\r\n</Config>";
    };
    auto playList = [](const QByteArray& list, const QByteArray& uri) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<PlayList>\r\n\t<ListName>" + list +
               "</ListName>\r\n\t<FileNum>1</FileNum>\r\n\t<PlayFiles>\r\n\t\t<FileItem>\r\n\t\t\t<Uri>" +
               uri +
               "</Uri>\r\n\t\t\t<TimeS>2024-05-01T10:00:00.000</"
               "TimeS>\r\n\t\t\t<TimeE>2024-05-01T10:30:00.000"
               "</TimeE>\r\n\t\t\t<Length>1024</Length>\r\n\t\t\t<Width>1920</Width>\r\n\t\t\t<Height>1080"
               "</Height>\r\n\t\t\t<Codev>1</Codev>\r\n\t\t\t<Codea>0</Codea>\r\n\t\t\t<FrameRate>25"
               "</FrameRate>\r\n\t\t</FileItem>\r\n\t</PlayFiles>\r\n</PlayList>";
    };
    const QByteArray url = "rtsp://10.0.0.1:554/mode=real&amp;idc=1&amp;ids=1";
    const QByteArray uri = "filer://local/type=rec&amp;format=dav&amp;filename=/rec/R&amp;D <1>.dav";
    const QString plainUrl = "rtsp://10.0.0.1:554/mode=real&idc=1&ids=1";
    const QString plainUri = "filer://local/type=rec&format=dav&filename=/rec/R&D <1>.dav";
    QTest::newRow("raw < in an address only")
        << settings("/snap", "Playlist", url) << playList("Playlist", uri) << "/snap"
        << "Playlist" << QStringList{plainUrl} << plainUri;
    QTest::newRow("raw & in folder and list name")
        << settings("/snap/R&D", "Tom & Jerry", url) << playList("Tom & Jerry", uri) << "/snap/R&D"
        << "Tom & Jerry" << QStringList{plainUrl} << plainUri;
    QTest::newRow("raw < and > in folder and list name")
        << settings("/snap/<a>/b<c", "a<b>c", url) << playList("a<b>c", uri) << "/snap/<a>/b<c"
        << "a<b>c" << QStringList{plainUrl} << plainUri;
    QTest::newRow("raw & and < with an entity look-alike")
        << settings("/s/&lt;x&amp", "&&<<", url) << playList("&&<<", uri) << "/s/&lt;x&amp"
        << "&&<<" << QStringList{plainUrl} << plainUri;
    // An earlier clip dialog stored Linux folders with backslashes: read back with slashes, while
    // a real folder whose name holds a backslash is kept as it is.
    QTest::newRow("backslashed folder of an earlier version")
        << settings("\\tmp\\Cut", "Playlist", url) << playList("Playlist", uri) << "/tmp/Cut"
        << "Playlist" << QStringList{plainUrl} << plainUri;
    QTest::newRow("a folder whose name holds a backslash")
        << settings("/tmp/a\\b", "Playlist", url) << playList("Playlist", uri) << "/tmp/a\\b"
        << "Playlist" << QStringList{plainUrl} << plainUri;
}

void TestPlayerFiles::legacyFiles() {
    QFETCH(QByteArray, settingsFile);
    QFETCH(QByteArray, listFile);
    QFETCH(QString, listName);
    QTemporaryDir dir;
    CPlayerContext ctx(dir.path() + "/app", dir.path() + "/config", dir.path() + "/data");
    WriteRaw(ctx.settingsPath, settingsFile);
    WriteRaw(ctx.PlayListFile(listName), listFile);
    QString error;
    QVERIFY2(ctx.LoadConfig(&error), qPrintable(error));
    QTEST(ctx.settings.capPicFolder, "folder");
    QCOMPARE(ctx.settings.capPicFormat, 35);
    QCOMPARE(ctx.settings.stick, 1);
    QCOMPARE(ctx.settings.language, QString("English"));
    QCOMPARE(ctx.settings.currentListName, listName);
    QCOMPARE(ctx.settings.listNames, QStringList{listName});
    QTEST(ctx.settings.urlRecords, "urls");
    QCOMPARE(ctx.loadedPlayList.GetCount(), 1);
    const CLumoFile* f = ctx.loadedPlayList.GetHead();
    QTEST(QString::fromStdString(f->url), "uri");
    QCOMPARE(int(f->type), 1);
    QCOMPARE(f->length, 1024ULL);
    QCOMPARE(int(f->width), 1920);
    QCOMPARE(f->frameRate, 25);
}

// The small fixture of the byte-format tests: a settings file with one list and two stream
// URLs, and that list with a local file and a stream.
PlayerSettings SmallSettings() {
    PlayerSettings s;
    s.capPicFolder = "/snap & <x>";
    s.cutRecordFolder = "/cut";
    s.backupFolder = "/back";
    s.listNames = QStringList{"Playlist"};
    s.urlRecords = QStringList{"rtsp://10.0.0.1:554/mode=real&idc=1&ids=1", "rtsp://cam/b"};
    return s;
}

void FillSmallList(CLumoPlayFileList* list) {
    auto f = std::make_unique<CLumoFile>();
    f->SetUrl(Local("/rec/R&D <1>.dav"));
    f->timeS = Time("2024-05-01T10:00:00");
    f->timeE = Time("2024-05-01T10:30:00.250");
    f->length = 1024;
    f->width = 1920;
    f->height = 1080;
    f->videoCodec = 1;
    f->frameRate = 25;
    QCOMPARE(list->AddTail(f), 0);
}

// The settings and list texts in a given form: the line end, the header and the indent of the
// stream URLs are what the forms differ in.
QByteArray SmallSettingsText(const QByteArray& header, const QByteArray& eol, int urlTabs) {
    const QByteArray url(urlTabs, '\t');
    QByteArray t = header + eol + "<Config>" + eol + "\t<Setting>" + eol + "\t\t<Common>" + eol +
                   "\t\t\t<Language>English</Language>" + eol + "\t\t\t<CapPicFormat>3</CapPicFormat>" + eol +
                   "\t\t\t<CapPicFolder>/snap &amp; &lt;x&gt;</CapPicFolder>" + eol +
                   "\t\t\t<CutRecordFormat>0</CutRecordFormat>" + eol + "\t\t\t<CutRecordSize>1</CutRecordSize>" +
                   eol + "\t\t\t<CutRecordFolder>/cut</CutRecordFolder>" + eol +
                   "\t\t\t<BackupFormat>1</BackupFormat>" + eol + "\t\t\t<BackupFolder>/back</BackupFolder>" + eol +
                   "\t\t\t<ExitKeepPlaylistFiles>1</ExitKeepPlaylistFiles>" + eol + "\t\t\t<Stick>0</Stick>" + eol +
                   "\t\t</Common>" + eol + "\t</Setting>" + eol + "\t<Play>" + eol + "\t\t<PlayFileLists>" + eol +
                   "\t\t\t<ListNum>1</ListNum>" + eol + "\t\t\t<ListItem>Playlist</ListItem>" + eol +
                   "\t\t\t<CurrentListName>Playlist</CurrentListName>" + eol + "\t\t</PlayFileLists>" + eol +
                   "\t</Play>" + eol + "\t<UrlRecords>" + eol + "\t\t<ItemCount>2</ItemCount>" + eol + url +
                   "<Url>rtsp://10.0.0.1:554/mode=real&amp;idc=1&amp;ids=1</Url>" + eol + url +
                   "<Url>rtsp://cam/b</Url>" + eol + "\t</UrlRecords>" + eol + "</Config>";
    return t;
}

QByteArray SmallListText(const QByteArray& header, const QByteArray& eol) {
    return header + eol + "<PlayList>" + eol + "\t<ListName>Playlist</ListName>" + eol + "\t<FileNum>1</FileNum>" +
           eol + "\t<PlayFiles>" + eol + "\t\t<FileItem>" + eol +
           "\t\t\t<Uri>filer://local/type=rec&amp;format=dav&amp;filename=/rec/R&amp;D &lt;1&gt;.dav</Uri>" + eol +
           "\t\t\t<TimeS>2024-05-01T10:00:00.000</TimeS>" + eol + "\t\t\t<TimeE>2024-05-01T10:30:00.250</TimeE>" +
           eol + "\t\t\t<Length>1024</Length>" + eol + "\t\t\t<Width>1920</Width>" + eol +
           "\t\t\t<Height>1080</Height>" + eol + "\t\t\t<Codev>1</Codev>" + eol + "\t\t\t<Codea>0</Codea>" + eol +
           "\t\t\t<FrameRate>25</FrameRate>" + eol + "\t\t</FileItem>" + eol + "\t</PlayFiles>" + eol + "</PlayList>";
}

const QByteArray kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>";

void TestPlayerFiles::writtenBytes_data() {
    QTest::addColumn<bool>("settingsFile");
    QTest::addColumn<QByteArray>("expected");
    // CRLF, the header with its blank, a tab a level and the stream URLs at three tabs.
    QTest::newRow("settings file") << true << SmallSettingsText(kHeader, "\r\n", 3);
    QTest::newRow("play list") << false << SmallListText(kHeader, "\r\n");
}

void TestPlayerFiles::writtenBytes() {
    QFETCH(bool, settingsFile);
    QTemporaryDir dir;
    CPlayerContext ctx(dir.path() + "/app", dir.path() + "/config", dir.path() + "/data");
    ctx.settings = SmallSettings();
    CLumoPlayFileList list("Playlist", 0, false);
    FillSmallList(&list);
    QString error;
    QVERIFY2(ctx.SaveConfig(&list, &error), qPrintable(error));
    const QString path = settingsFile ? ctx.settingsPath : ctx.PlayListFile("Playlist");
    QTEST(ReadAll(path), "expected");
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0600));  // the owner's alone
}

void TestPlayerFiles::bothFormsRead_data() {
    QTest::addColumn<QByteArray>("settingsFile");
    QTest::addColumn<QByteArray>("listFile");
    QTest::newRow("CRLF and tabs") << SmallSettingsText(kHeader, "\r\n", 3) << SmallListText(kHeader, "\r\n");
    const QByteArray lfHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    QTest::newRow("LF, URLs at two tabs")
        << SmallSettingsText(lfHeader, "\n", 2) + "\n" << SmallListText(lfHeader, "\n") + "\n";
}

void TestPlayerFiles::bothFormsRead() {
    QFETCH(QByteArray, settingsFile);
    QFETCH(QByteArray, listFile);
    QTemporaryDir dir;
    CPlayerContext ctx(dir.path() + "/app", dir.path() + "/config", dir.path() + "/data");
    WriteRaw(ctx.settingsPath, settingsFile);
    WriteRaw(ctx.PlayListFile("Playlist"), listFile);
    QString error;
    QVERIFY2(ctx.LoadConfig(&error), qPrintable(error));
    QCOMPARE(ctx.settings, SmallSettings());
    CLumoPlayFileList expected("Playlist", 0, false);
    FillSmallList(&expected);
    CompareLists(expected, ctx.loadedPlayList);
}

void TestPlayerFiles::readerRules() {
    QTemporaryDir dir;
    CPlayerContext ctx(dir.path() + "/app", dir.path() + "/config", dir.path() + "/data");
    // A repeated Stick takes the first that reads; "(null)" and empty folders keep the defaults;
    // no UrlRecords section: the rest still loads, but the file counts as incomplete.
    WriteRaw(ctx.settingsPath,
             "<?xml version=\"1.0\"?><Config><Setting><Common><Stick>abc</Stick><Stick> 2x</Stick>"
             "<Stick>1</Stick><CapPicFolder>(null)</CapPicFolder><CutRecordFolder></CutRecordFolder>"
             "<BackupFolder>/b</BackupFolder></Common></Setting><Play><PlayFileLists>"
             "<CurrentListName>L</CurrentListName></PlayFileLists></Play></Config>");
    const QByteArray item =
        "<FileItem><Uri>rtsp://cam/x</Uri><TimeS>2024-05-01T10:00:00</TimeS>"
        "<TimeE>2024-05-01T10:00:10</TimeE><Length>0x10</Length><Width>1</Width>"
        "<Height>2</Height><Codev>1</Codev><Codea>0</Codea><FrameRate>25</FrameRate></FileItem>";
    QByteArray noRate = item;
    noRate.replace("<FrameRate>25</FrameRate>", "");
    QByteArray wide = item;
    wide.replace("<Width>1</Width>", "<Width>70000</Width>");
    QByteArray second = item;  // the first Height does not read, the second does
    second.replace("<Height>2</Height>", "<Height>x</Height><Height>3</Height>");
    WriteRaw(ctx.PlayListFile("L"),
             "<PlayList><PlayFiles>" + item + noRate + wide + second + "</PlayFiles></PlayList>");
    QString error;
    QVERIFY(!ctx.LoadConfig(&error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(ctx.settings.stick, 2);
    QCOMPARE(ctx.settings.capPicFolder, ctx.defaults.capPicFolder);
    QCOMPARE(ctx.settings.cutRecordFolder, ctx.defaults.cutRecordFolder);
    QCOMPARE(ctx.settings.backupFolder, QString("/b"));
    QCOMPARE(ctx.settings.currentListName, QString("L"));
    QCOMPARE(ctx.loadedPlayList.GetCount(), 2);
    QCOMPARE(ctx.loadedPlayList.GetHead()->length, 16ULL);
    QCOMPARE(int(ctx.loadedPlayList.GetAt(1)->height), 3);

    // Not XML at all: the defaults stand, and the reason is given.
    WriteRaw(ctx.settingsPath, "\x01\x02 not xml <<<");
    CPlayerContext fresh(dir.path() + "/app", dir.path() + "/config", dir.path() + "/data");
    QVERIFY(!fresh.LoadConfig(&error));
    QVERIFY(error.contains("PlayerConfig.xml"));
    QCOMPARE(fresh.settings, fresh.defaults);
}

void TestPlayerFiles::hostileListNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::newRow("parent") << "../evil" << true;
    QTest::newRow("dot dot") << ".." << true;
    QTest::newRow("dot") << "." << true;
    QTest::newRow("absolute") << "/etc/passwd" << true;
    QTest::newRow("sub-folder") << "a/b" << true;
    QTest::newRow("backslashes") << "..\\..\\x" << true;
    QTest::newRow("home") << "~" << true;
    QTest::newRow("encoded look-alike") << "%2E%2E%2Fevil" << true;
    QTest::newRow("the settings file's name") << "PlayerConfig" << true;
    QTest::newRow("hidden") << ".hidden" << true;
    QTest::newRow("newline and nul") << QString("a\nb") + QChar(0) + "c" << false;
    QTest::newRow("chinese") << "播放列表" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("too long") << QString(300, 'x') << false;
}

void TestPlayerFiles::hostileListNames() {
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QTemporaryDir dir;
    const QString root = dir.path();
    CPlayerContext ctx(root + "/app", root + "/config", root + "/data");
    QString error;
    const QString path = ctx.PlayListFile(name, &error);
    QCOMPARE(!path.isEmpty(), valid);

    CLumoPlayFileList list(name.toStdString(), 0, false);
    auto f = std::make_unique<CLumoFile>();
    f->SetUrl(Local("/rec/a.dav"));
    QCOMPARE(list.AddTail(f), 0);
    QCOMPARE(ctx.SaveConfig(&list, &error), valid);
    if (!valid) {
        QVERIFY(!error.isEmpty());
        QCOMPARE(FilesUnder(root), QStringList{"config/PlayerConfig.xml"});  // the settings still saved
        return;
    }
    QCOMPARE(QFileInfo(path).absolutePath(), ctx.listsDir);
    QVERIFY(!QFileInfo(path).fileName().startsWith('.'));
    QCOMPARE(FilesUnder(root),
             (QStringList{"config/PlayerConfig.xml", "config/lists/" + QFileInfo(path).fileName()}));

    CPlayerContext next(root + "/app", root + "/config", root + "/data");
    QVERIFY2(next.LoadConfig(&error), qPrintable(error));
    QCOMPARE(next.settings.currentListName, name);
    QCOMPARE(next.loadedPlayList.GetCount(), 1);

    // Names that differ never share a file.
    const QStringList others = {"..", ".", "../evil", "%2E%2E%2Fevil", "a/b", "a%2Fb", "A/B", "a_b"};
    QSet<QString> files;
    for (const QString& other : others) files.insert(ctx.PlayListFile(other));
    QCOMPARE(files.size(), others.size());
}

void TestPlayerFiles::iniRewrittenInUserFolder() {
    QTemporaryDir dir, work;
    const QString root = dir.path();
    CPlayerContext ctx(root + "/app", root + "/config", root + "/data");
    // As shipped: no byte-order mark, backslashes, the local code page.
    const QByteArray config =
        "[App]\r\nApp=Vantel Player\r\nName=C:\\Vantel\\Player\r\n[Language]\r\nDefault=Chinese\r\n"
        "English=English\r\nChinese=\xE4\xB8\xAD\xE6\x96\x87\r\nCzech=\xC4\x8D"
        "e\xC5\xA1tina\r\n";
    const QByteArray custom =
        "[Font]\r\nApp=Noto Sans\r\n[PlayList]\r\ndefault_color=10,20\r\nselect_color=1,2,3\r\n";
    WriteRaw(ctx.shippedConfigIni, config);
    WriteRaw(ctx.shippedCustomIni, custom);

    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work.path()));
    ctx.LoadConfig();
    QVERIFY(QDir::setCurrent(cwd));

    QVERIFY(FilesUnder(work.path()).isEmpty());       // nothing relative to the working folder
    QCOMPARE(ReadAll(ctx.shippedConfigIni), config);  // the program's folder is only read
    QCOMPARE(ReadAll(ctx.shippedCustomIni), custom);
    const QByteArray userConfig = ReadAll(ctx.configIniPath);
    QVERIFY(userConfig.startsWith("\xEF\xBB\xBF"));
    QVERIFY(!userConfig.contains('\\'));
    QVERIFY(userConfig.contains("Name=C:/Vantel/Player"));
    QVERIFY(ReadAll(ctx.customIniPath).startsWith("\xEF\xBB\xBF"));

    QCOMPARE(ctx.appTitle, QString("Vantel Player"));
    QCOMPARE(ctx.appName, QString("C:/Vantel/Player"));
    QCOMPARE(ctx.languageNames.size(), 14);
    QCOMPARE(ctx.languageNames.at(1), QString("中文"));
    QCOMPARE(ctx.languageNames.at(13), QString("čeština"));
    QCOMPARE(ctx.settings.language, QString("中文"));
    QCOMPARE(ctx.fontFamily, QString("Noto Sans"));
    QCOMPARE(ctx.playListColors.size(), 6);
    QCOMPARE(ctx.playListColors.at(0), QColor(10, 20, 0));
    QCOMPARE(ctx.playListColors.at(1), QColor(1, 2, 3));
    QCOMPARE(ctx.playListColors.at(5), QColor(0, 0, 0));

    // The user's copy is kept from then on (an unchanged file is not written again), and the
    // user's own edits stand...
    const QDateTime written = QFileInfo(ctx.configIniPath).lastModified();
    QVERIFY(!CPlayerContext::NormalizeIni(ctx.configIniPath, ctx.configIniPath, nullptr));
    QCOMPARE(QFileInfo(ctx.configIniPath).lastModified(), written);
    QByteArray edited = userConfig;
    edited.replace("App=Vantel Player", "App=Mine");
    WriteRaw(ctx.configIniPath, edited);
    ctx.LoadConfig();
    QCOMPARE(ctx.appTitle, QString("Mine"));

    // ...until the program brings a newer file of its own.
    WriteRaw(ctx.shippedConfigIni, QByteArray(config).replace("Vantel Player", "Vantel Player 2"));
    QFile shipped(ctx.shippedConfigIni);
    QVERIFY(shipped.open(QIODevice::ReadWrite));
    QVERIFY(shipped.setFileTime(QFileInfo(ctx.configIniPath).lastModified().addSecs(10),
                                QFileDevice::FileModificationTime));
    shipped.close();
    ctx.LoadConfig();
    QCOMPARE(ctx.appTitle, QString("Vantel Player 2"));
    QCOMPARE(ctx.appName, QString("C:/Vantel/Player"));
}

void TestPlayerFiles::outputFoldersCreated() {
    QTemporaryDir dir;
    CPlayerContext ctx(dir.path() + "/app", dir.path() + "/config", dir.path() + "/data");
    QString error;
    QVERIFY2(ctx.EnsureOutputFolders(&error), qPrintable(error));
    for (const QString& folder :
         {ctx.settings.capPicFolder, ctx.settings.cutRecordFolder, ctx.settings.backupFolder}) {
        QVERIFY(folder.startsWith(dir.path() + "/data/"));
        QVERIFY(QFileInfo(folder).isDir());
    }
    WriteRaw(dir.path() + "/file", "x");
    ctx.settings.capPicFolder = dir.path() + "/file/sub";
    QVERIFY(!ctx.EnsureOutputFolders(&error));
    QVERIFY(error.contains("file/sub"));
}

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--save-child") == 0) {
        QCoreApplication app(argc, argv);
        return RunSaveChild(argv);
    }
    QCoreApplication app(argc, argv);
    TestPlayerFiles test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_playerfiles.moc"
