// The player's dialog frame, About and the tip dialog; every dialog and tip of the player belongs
// to a window (kept above it, centred over it).
#include <QtTest>

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>
#include "testsupport.h"

#include "VantelInfraAPI/testseams.h"
#include "player/dialogs/about.h"
#include "player/dialogs/adddiskfile.h"
#include "player/dialogs/addurl.h"
#include "player/dialogs/backupmanager.h"
#include "player/dialogs/cuttip.h"
#include "player/dialogs/dialogtip.h"
#include "player/dialogs/fileinfo.h"
#include "player/dialogs/locatebyaccuratetime.h"
#include "player/dialogs/locatebytimestamp.h"
#include "player/dialogs/setting.h"
#include "player/playercontext.h"
#include "dialogtesting.h"
#include "urlrecorder.h"

namespace {

// Where a window's centre lies, as text for a failure message.
QString CentreText(const QWidget* w) {
    const QPoint c = w->frameGeometry().center();
    return QStringLiteral("%1,%2").arg(c.x()).arg(c.y());
}

// Whether `w` is tied to `owner`: the window manager is told that it belongs to it (transient-for,
// on a dialog: an X11 window manager only keeps dialogs and tools above their window) and it is
// centred over it, as far as the screen lets it (the test screen is small). Empty when it is, else
// what is wrong.
QString TiedTo(const QWidget* w, const QWidget* owner) {
    if (!w->windowHandle() || !owner->windowHandle()) return QStringLiteral("no native window");
    if (w->windowHandle()->transientParent() != owner->windowHandle())
        return QStringLiteral("not transient for it");
    if (w->windowHandle()->type() != Qt::Dialog)
        return QStringLiteral("window type %1").arg(int(w->windowHandle()->type()), 0, 16);
    QRect want(QPoint(), w->frameGeometry().size());
    want.moveCenter(owner->frameGeometry().center());
    const QRect screen = owner->screen()->availableGeometry();
    want.moveLeft(qBound(screen.left(), want.left(), qMax(screen.left(), screen.right() + 1 - want.width())));
    want.moveTop(qBound(screen.top(), want.top(), qMax(screen.top(), screen.bottom() + 1 - want.height())));
    if ((w->frameGeometry().center() - want.center()).manhattanLength() > 2)
        return QStringLiteral("centre %1, its window's %2").arg(CentreText(w), CentreText(owner));
    return QString();
}

void SendMouse(QWidget* target, QEvent::Type type, const QPoint& global, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, target->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

}  // namespace

class TestPlayerDialogs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void tipResult_data();
    void tipResult();
    void tipWithoutAutoCloseStays_data();
    void tipWithoutAutoCloseStays();
    void fileBlock_data();
    void fileBlock();
    void longTextsElide_data();
    void longTextsElide();
    void openButtonOpensTheFolder();
    void scriptedReplyAnswersAndLogs_data();
    void scriptedReplyAnswersAndLogs();
    void titleDrag_data();
    void titleDrag();
    void aboutShowsContextAndRetranslates();
    void aboutHidesOnOkAndClose();
    void shippedFilesLoad();
    void tiedToItsWindow_data();
    void tiedToItsWindow();
    void outOfFileTipOverTheLocateDialog();

private:
    QTemporaryDir m_dir;
};

void TestPlayerDialogs::initTestCase() {
    QVERIFY(m_dir.isValid());
    CPlayerContext* context = CPlayerContext::Instance();
    context->appName = QStringLiteral("VantelPlayer");
    context->appVersion = QStringLiteral("V1.2.3");
    context->appBuild = QStringLiteral("Build 20260101");
}

void TestPlayerDialogs::init() {
    // Nothing scripted unless a case says so: the dialogs run for real.
    INFRA::TestSeams::SetScriptedReply(QString());
    INFRA::TestSeams::SetUiLogPath(QString());
}

// How the tip ends and what exec() returns.
void TestPlayerDialogs::tipResult_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("autoCloseMs");  // 0: no auto-close
    QTest::addColumn<QString>("action");   // what is pressed at once ("" nothing)
    QTest::addColumn<int>("result");
    QTest::newRow("result tip closes itself") << 1 << 50 << "" << 0;
    QTest::newRow("Ok before the auto-close") << 1 << 60000 << "ok" << 1;
    QTest::newRow("Cancel") << 1 << 60000 << "cancel" << 0;
    QTest::newRow("close button") << 0 << 0 << "close" << 0;
    QTest::newRow("Escape") << 0 << 0 << "escape" << 0;
    QTest::newRow("Ok on a confirmation") << 0 << 0 << "ok" << 1;
}

void TestPlayerDialogs::tipResult() {
    QFETCH(int, mode);
    QFETCH(int, autoCloseMs);
    QFETCH(QString, action);
    QFETCH(int, result);
    DialogTip tip("title", "text", nullptr, quint8(mode), false);
    if (autoCloseMs) tip.StartAutoClose(autoCloseMs);
    QTimer::singleShot(0, &tip, [&tip, action]() {
        if (action == "ok") StandardButton(&tip, QDialogButtonBox::Ok)->click();
        if (action == "cancel") StandardButton(&tip, QDialogButtonBox::Cancel)->click();
        if (action == "close") tip.findChild<QPushButton*>("btnClose")->click();
        if (action == "escape") QTest::keyClick(&tip, Qt::Key_Escape);
    });
    QCOMPARE(tip.exec(), result);
    QVERIFY(!tip.isVisible());
}

// A tip of mode 0 (or of mode 1 that was not asked to) never closes itself.
void TestPlayerDialogs::tipWithoutAutoCloseStays_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("askAutoClose");
    QTest::newRow("mode 0 asked to close") << 0 << true;
    QTest::newRow("mode 1 not asked") << 1 << false;
}

void TestPlayerDialogs::tipWithoutAutoCloseStays() {
    QFETCH(int, mode);
    QFETCH(bool, askAutoClose);
    DialogTip tip("title", "text", nullptr, quint8(mode), false);
    if (askAutoClose) tip.StartAutoClose(10);
    bool openLater = false;
    // Long after an auto-close would have fired, the tip is still there to be answered.
    QTimer::singleShot(400, &tip, [&tip, &openLater]() {
        openLater = tip.isVisible();
        StandardButton(&tip, QDialogButtonBox::Ok)->click();
    });
    QCOMPARE(tip.exec(), 1);
    QVERIFY(openLater);
}

void TestPlayerDialogs::fileBlock_data() {
    QTest::addColumn<bool>("fileBlock");
    QTest::addColumn<QString>("fileText");
    QTest::addColumn<QString>("pathText");
    QTest::addColumn<bool>("fileRow");
    QTest::addColumn<bool>("pathRow");
    QTest::newRow("snapshot: the path row only") << true << "" << "/tmp/shot.jpg" << false << true;
    QTest::newRow("clip that failed early: the file row only") << true << "/r/a.dav" << "" << true << false;
    QTest::newRow("clip done: both rows") << true << "/r/a.dav" << "/o/a_cut.dav" << true << true;
}

void TestPlayerDialogs::fileBlock() {
    QFETCH(bool, fileBlock);
    QFETCH(QString, fileText);
    QFETCH(QString, pathText);
    QFETCH(bool, fileRow);
    QFETCH(bool, pathRow);
    DialogTip tip("snap_done", "snap_success", nullptr, 1, fileBlock);
    tip.SetFileInfo(fileText, pathText);
    QCOMPARE(tip.findChild<QLabel*>("labelFilePath")->isHidden(), !fileRow);
    QCOMPARE(tip.findChild<QLabel*>("labelFilePathInfo")->isHidden(), !fileRow);
    QCOMPARE(tip.findChild<QLabel*>("labelPath")->isHidden(), !pathRow);
    QCOMPARE(tip.findChild<QLabel*>("labelPathInfo")->isHidden(), !pathRow);
    QCOMPARE(tip.findChild<QPushButton*>("btnOpen")->isHidden(), !pathRow);
    QCOMPARE(tip.findChild<QLabel*>("labelPath")->text(), QString("saving_path"));
    QCOMPARE(tip.findChild<QLabel*>("labelFilePath")->text(), QString("file_path"));
    if (pathRow) QCOMPARE(tip.findChild<QLabel*>("labelPathInfo")->text(), pathText);
    tip.show();
    QVERIFY(tip.findChild<QWidget*>("widgetFileInfo")->isVisible());
    QCOMPARE(StandardButton(&tip, QDialogButtonBox::Ok)->text(), QString("OK"));
    QCOMPARE(StandardButton(&tip, QDialogButtonBox::Cancel)->text(), QString("Cancel"));
}

// The value labels are 200 pixels wide at 5 pixels a character: 40 characters fit, a longer text
// shows its first 30 and "...", and its tool tip shows it whole.
void TestPlayerDialogs::longTextsElide_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("shown");
    QTest::newRow("40 fit") << 40 << 40;
    QTest::newRow("41 elide") << 41 << 33;
    QTest::newRow("200 elide") << 200 << 33;
}

void TestPlayerDialogs::longTextsElide() {
    QFETCH(int, length);
    QFETCH(int, shown);
    QString path = "/";
    while (path.size() < length) path += QChar('a' + path.size() % 26);
    DialogTip tip("cut_done", "cut_success", nullptr, 1, true);
    tip.SetFileInfo(path, path);
    for (const char* name : {"labelFilePathInfo", "labelPathInfo"}) {
        auto* label = tip.findChild<QLabel*>(name);
        QCOMPARE(label->text().size(), shown);
        if (length > 40) QCOMPARE(label->text(), path.left(30) + "...");
        QCOMPARE(label->toolTip(), path);
        QCOMPARE(label->toolTipDuration(), 10000);
    }
}

void TestPlayerDialogs::openButtonOpensTheFolder() {
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "open");
    const QString shot = m_dir.filePath("Screenshot/gone.jpg");  // neither the file nor its folder exists
    DialogTip tip("snap_done", "snap_success", nullptr, 1, true);
    tip.SetFileInfo(QString(), shot);
    tip.show();
    tip.findChild<QPushButton*>("btnOpen")->click();
    tip.findChild<QPushButton*>("btnOpen")->click();
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(recorder.urls.size(), 2);  // each press opens again
    QCOMPARE(recorder.urls.first(), QUrl::fromLocalFile(QDir::cleanPath(m_dir.path())));
    QVERIFY(tip.isVisible());
    QVERIFY(!QFileInfo::exists(m_dir.filePath("Screenshot")));  // nothing created
}

void TestPlayerDialogs::scriptedReplyAnswersAndLogs_data() {
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("result");
    QTest::newRow("ok") << "ok" << 1;
    QTest::newRow("yes") << "yes" << 1;
    QTest::newRow("cancel") << "cancel" << 0;
    QTest::newRow("close") << "close" << 0;
}

void TestPlayerDialogs::scriptedReplyAnswersAndLogs() {
    QFETCH(QString, reply);
    QFETCH(int, result);
    const QString log = m_dir.filePath("ui-" + reply + ".log");
    INFRA::TestSeams::SetUiLogPath(log);
    INFRA::TestSeams::SetScriptedReply(reply);
    DialogTip tip("tip", "ensure_clear_list", nullptr, 0, false);
    QCOMPARE(tip.exec(), result);
    DialogTip result2("snap_done", "snap_success", nullptr, 1, true);
    result2.SetFileInfo(QString(), "/s/x.jpg");
    result2.StartAutoClose(3000);
    result2.exec();
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.value(0), QByteArray("tip\ttip\tensure_clear_list\t\t"));
    QCOMPARE(lines.value(1), QByteArray("tip\tsnap_done\tsnap_success\t\t/s/x.jpg"));
}

// The title bar drags the dialog by the cursor's movement, only with the left button alone and
// not after a press on the close button until the title bar is pressed again.
void TestPlayerDialogs::titleDrag_data() {
    QTest::addColumn<QString>("steps");  // L: left press on the title, R: right press, C: press on close
    QTest::addColumn<int>("buttons");    // buttons held while moving
    QTest::addColumn<bool>("moves");
    QTest::newRow("left press and move") << "L" << int(Qt::LeftButton) << true;
    QTest::newRow("right button held") << "R" << int(Qt::RightButton) << false;
    QTest::newRow("left and right held") << "L" << int(Qt::LeftButton | Qt::RightButton) << false;
    QTest::newRow("no button after release") << "L" << int(Qt::NoButton) << false;
    QTest::newRow("after a press on close") << "LC" << int(Qt::LeftButton) << false;
    QTest::newRow("title pressed again after close") << "CL" << int(Qt::LeftButton) << true;
}

void TestPlayerDialogs::titleDrag() {
    QFETCH(QString, steps);
    QFETCH(int, buttons);
    QFETCH(bool, moves);
    About about;
    about.move(100, 100);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    auto* title = about.findChild<QWidget*>("widgetTittle");
    auto* close = about.findChild<QPushButton*>("btnClose");
    const QPoint start = about.pos();
    const QPoint grip = title->mapToGlobal(QPoint(10, 10));
    for (const QChar step : steps) {
        if (step == 'L') SendMouse(title, QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
        if (step == 'R') SendMouse(title, QEvent::MouseButtonPress, grip, Qt::RightButton, Qt::RightButton);
        if (step == 'C') {
            // Pressed, dragged off and released beside it: no click.
            SendMouse(close, QEvent::MouseButtonPress, close->mapToGlobal(QPoint(5, 5)), Qt::LeftButton,
                      Qt::LeftButton);
            SendMouse(close, QEvent::MouseButtonRelease, close->mapToGlobal(QPoint(-30, 40)), Qt::LeftButton,
                      Qt::NoButton);
        }
    }
    SendMouse(title, QEvent::MouseMove, grip + QPoint(37, 21), Qt::NoButton, Qt::MouseButtons(buttons));
    QCOMPARE(about.pos(), moves ? start + QPoint(37, 21) : start);
    QVERIFY(about.isVisible());  // the press on close does not count as a click here
}

void TestPlayerDialogs::aboutShowsContextAndRetranslates() {
    About about;
    QCOMPARE(about.windowFlags() & (PlayerDialog::kCoverFlags), PlayerDialog::kCoverFlags);
    QCOMPARE(about.findChild<QLabel*>("labelTittle")->text(), QString("about"));
    QCOMPARE(about.findChild<QLabel*>("labelAboutName")->text(), QString("VantelPlayer"));
    MarkingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));  // sends the language change
    QTRY_COMPARE(about.findChild<QLabel*>("labelTittle")->text(), QString("About:about"));
    QCOMPARE(StandardButton(&about, QDialogButtonBox::Ok)->text(), QString("About:OK"));
    QCOMPARE(about.findChild<QLabel*>("labelAboutName")->text(), QString("VantelPlayer"));
    QCOMPARE(about.findChild<QLabel*>("labelAboutVersion")->text(), QString("V1.2.3"));
    QCOMPARE(about.findChild<QLabel*>("labelAboutBuild")->text(), QString("Build 20260101"));
    QCoreApplication::removeTranslator(&translator);
    QTRY_COMPARE(about.findChild<QLabel*>("labelTittle")->text(), QString("about"));
}

void TestPlayerDialogs::aboutHidesOnOkAndClose() {
    About about;
    for (const char* button : {"ok", "close"}) {
        about.show();
        QVERIFY(about.isVisible());
        if (QByteArray(button) == "ok")
            StandardButton(&about, QDialogButtonBox::Ok)->click();
        else
            about.findChild<QPushButton*>("btnClose")->click();
        QVERIFY2(!about.isVisible(), button);
    }
    about.show();
    QCOMPARE(about.findChild<QLabel*>("labelAboutVersion")->text(), QString("V1.2.3"));
}

// The program's folder as built: its ini files, languages, style sheet and compiled-in pictures.
void TestPlayerDialogs::shippedFilesLoad() {
    const QString bin = qEnvironmentVariable("VANTEL_BIN_DIR");
    VT_REQUIRE(!bin.isEmpty(), "VANTEL_BIN_DIR is not set");
    CPlayerContext context(bin, m_dir.filePath("config"), m_dir.filePath("data"));
    context.LoadConfig();
    QCOMPARE(context.appTitle, QString("VantelPlayer"));
    QCOMPARE(context.languageNames.size(), CPlayerContext::LanguageKeys().size());
    QCOMPARE(context.languageNames.value(0), QString("English"));
    QCOMPARE(context.languageNames.value(1), QString::fromUtf8("简体中文"));
    QVERIFY(!context.languageNames.contains(QString()));
    QCOMPARE(context.playListColors.size(), 6);
    QVERIFY(QFileInfo(context.lostVideoLogoPath).size() > 0);
    QVERIFY(!QImage(context.lostVideoLogoPath).isNull());

    QVERIFY(context.LoadLanguage(context.languageNames.at(1)));
    DialogTip chinese("t", "x", nullptr, 1, true);
    QCOMPARE(chinese.findChild<QLabel*>("labelPath")->text(), QString::fromUtf8("保存路径："));
    QCOMPARE(StandardButton(&chinese, QDialogButtonBox::Ok)->text(), QString::fromUtf8("确定"));
    QVERIFY(context.LoadLanguage("English"));
    DialogTip english("t", "x", nullptr, 1, true);
    QCOMPARE(StandardButton(&english, QDialogButtonBox::Cancel)->text(), QString("Cancel"));
    QCOMPARE(english.findChild<QLabel*>("labelPath")->text(), QString("Saved in:"));

    QVERIFY(!QIcon(":/VantelPlayer/Resources/logo.png").isNull());
    // Every picture the style sheet names is compiled in, and every button state has one.
    QFile qss(context.styleSheetPath);
    QVERIFY(qss.open(QIODevice::ReadOnly));
    const QString sheet = QString::fromUtf8(qss.readAll());
    QRegularExpression url("url\\((:[^)]+)\\)");
    int pictures = 0;
    for (auto it = url.globalMatch(sheet); it.hasNext(); ++pictures) {
        const QString picture = it.next().captured(1);
        QVERIFY2(!QImage(picture).isNull(), qPrintable(picture));
    }
    QVERIFY(pictures >= 13);
    for (const char* state : {"[ListMode=\"Singel\"]", "[ListMode=\"SingelLoop\"]", "[ListMode=\"List\"]",
                              "[ListMode=\"ListLoop\"]", "[Stick=\"nerver\"]", "[Stick=\"always\"]",
                              "[Stick=\"play\"]", "[SplitWindow=\"one\"]", "[SplitWindow=\"four\"]",
                              "[SplitWindow=\"nine\"]", "[SplitWindow=\"sixteen\"]"})
        QVERIFY2(sheet.contains(QLatin1String(state)), state);
    context.LoadSkin();
    QVERIFY(!qApp->styleSheet().isEmpty());
    qApp->setStyleSheet(QString());
}

// Every dialog and tip, shown from a window, is kept above that window and opens centred over it;
// one without a parent belongs to the active window.
void TestPlayerDialogs::tiedToItsWindow_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("withParent");
    for (const char* kind : {"About", "AddDiskFile", "AddUrl", "BackupManager", "CutTip", "DialogTip",
                             "FileInfo", "LocateByAccurateTime", "LocateByTimeStamp", "Setting"})
        QTest::newRow(kind) << QString(kind) << true;
    QTest::newRow("DialogTip without a parent") << "DialogTip" << false;
    QTest::newRow("About without a parent") << "About" << false;
}

void TestPlayerDialogs::tiedToItsWindow() {
    QFETCH(QString, kind);
    QFETCH(bool, withParent);
    // The player's window, away from the screen's centre and corner.
    QWidget player;
    player.setGeometry(30, 40, 700, 500);
    player.show();
    QApplication::setActiveWindow(&player);
    QVERIFY(QTest::qWaitForWindowExposed(&player));
    QWidget* parent = withParent ? &player : nullptr;
    std::unique_ptr<QDialog> dialog;
    if (kind == "About") dialog.reset(new About(parent));
    if (kind == "AddDiskFile") dialog.reset(new AddDiskFile(parent));
    if (kind == "AddUrl") dialog.reset(new AddUrl(parent));
    if (kind == "BackupManager") dialog.reset(new BackupManager(parent));
    if (kind == "CutTip") dialog.reset(new CutTip(parent));
    if (kind == "DialogTip") dialog.reset(new DialogTip("tip", "text", parent));
    if (kind == "FileInfo") dialog.reset(new FileInfo(parent));
    if (kind == "LocateByAccurateTime") dialog.reset(new LocateByAccurateTime(parent));
    if (kind == "LocateByTimeStamp") dialog.reset(new LocateByTimeStamp(parent));
    if (kind == "Setting") dialog.reset(new Setting(parent));
    QVERIFY(dialog);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    const QString wrong = TiedTo(dialog.get(), &player);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    // Shown again after the operator dragged it away: over its window again.
    dialog->hide();
    dialog->move(0, 0);
    dialog->show();
    QCOMPARE(TiedTo(dialog.get(), &player), QString());
}

// "Go to a second" with a number past the file's end: the tip that says so belongs to the dialog
// and opens over it, not in the screen's corner behind the player.
void TestPlayerDialogs::outOfFileTipOverTheLocateDialog() {
    QWidget player;
    player.setGeometry(30, 40, 700, 500);
    player.show();
    QVERIFY(QTest::qWaitForWindowExposed(&player));
    LocateByTimeStamp locate(&player);
    locate.SetMax(20);
    locate.show();
    QVERIFY(QTest::qWaitForWindowExposed(&locate));
    QCOMPARE(TiedTo(&locate, &player), QString());
    locate.findChild<QLineEdit*>("lineEdit")->setText("99");
    QString wrong = "no tip";
    QTimer::singleShot(0, [&]() {
        // Ok runs the tip's own loop; look at it once it is up, then close it.
        QVERIFY(
            QTest::qWaitFor([]() { return qobject_cast<DialogTip*>(QApplication::activeModalWidget()); }));
        auto* tip = qobject_cast<DialogTip*>(QApplication::activeModalWidget());
        QVERIFY(QTest::qWaitForWindowExposed(tip));
        wrong = TiedTo(tip, &locate);
        tip->findChild<QPushButton*>("btnClose")->click();
    });
    StandardButton(&locate, QDialogButtonBox::Ok)->click();
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QVERIFY(locate.isVisible());  // the dialog stays for a better number
}

QTEST_MAIN(TestPlayerDialogs)
#include "tst_playerdialogs.moc"
