#include "player/playercontext.h"

#include "VantelInfraAPI/vantelutility.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QSettings>
#include <QStandardPaths>
#include <QTextCodec>
#include <QUrl>

#include "VantelCore/local8bit.h"
#include "VantelInfraAPI/testseams.h"

#include <cstdio>

namespace {

void SetError(QString* error, const QString& text) {
    if (error) *error = text;
}

void AppendError(QString* error, const QString& text) {
    if (error) *error = error->isEmpty() ? text : *error + QStringLiteral("; ") + text;
}

// The text of an ini value: QSettings reads "10,20,30" as a list, so it is joined back.
QString IniText(const QSettings& ini, const QString& key, const QString& fallback = QString()) {
    const QVariant v = ini.value(key, fallback);
    return v.type() == QVariant::StringList ? v.toStringList().join(QLatin1Char(',')) : v.toString();
}

}  // namespace

CPlayerContext* CPlayerContext::Instance() {
    // A function-local static is made once, even when the first calls race.
    static CPlayerContext context(QCoreApplication::applicationDirPath(),
                                  QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation),
                                  QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    return &context;
}

CPlayerContext::CPlayerContext(const QString& app, const QString& configDir, const QString& dataDir)
    : appDir(QDir::cleanPath(app)),
      userDir(QDir::cleanPath(configDir)),
      userDataDir(QDir::cleanPath(dataDir)) {
    shippedConfigIni = appDir + QStringLiteral("/data/config/config.ini");
    shippedCustomIni = appDir + QStringLiteral("/data/skin/custom.ini");
    languageDir = appDir + QStringLiteral("/data/language");
    styleSheetPath = appDir + QStringLiteral("/data/skin/qss/picture.qss");
    lostVideoLogoPath = appDir + QStringLiteral("/data/skin/picture/singal_view.png");
    configIniPath = userDir + QStringLiteral("/config.ini");
    customIniPath = userDir + QStringLiteral("/custom.ini");
    settingsPath = userDir + QStringLiteral("/PlayerConfig.xml");
    listsDir = userDir + QStringLiteral("/lists");
    defaults.capPicFolder = userDataDir + QStringLiteral("/Screenshot");
    defaults.cutRecordFolder = userDataDir + QStringLiteral("/Cut");
    defaults.backupFolder = userDataDir + QStringLiteral("/Backup");
    settings = defaults;
}

const QStringList& CPlayerContext::LanguageKeys() {
    static const QStringList keys = {"English", "Chinese",  "Italian", "Polish",  "Spanish",
                                     "Russian", "Portugal", "Thai",    "Turkish", "Persian",
                                     "French",  "Greek",    "Hebrew",  "Czech"};
    return keys;
}

bool CPlayerContext::NormalizeIni(const QString& source, const QString& target, QString* error,
                                  const CommitGate& beforeCommit) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        SetError(error, QStringLiteral("cannot read %1: %2").arg(source, in.errorString()));
        return false;
    }
    const QByteArray bytes = in.readAll();
    // A byte-order mark names the encoding; without one the text is the locale's.
    QTextCodec* codec = QTextCodec::codecForUtfText(bytes, QTextCodec::codecForLocale());
    QString text = codec->toUnicode(bytes);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QByteArray out = QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
    QFile current(target);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == out) return false;  // nothing to change
    current.close();
    return WriteFileAtomically(target, out, error, beforeCommit);
}

QColor CPlayerContext::ParseColor(const QString& text) {
    int rgb[3] = {0, 0, 0};
    const QByteArray bytes = text.toUtf8();
    std::sscanf(bytes.constData(), "%d,%d,%d", &rgb[0], &rgb[1], &rgb[2]);
    QColor color;
    color.setRgb(qBound(0, rgb[0], 255), qBound(0, rgb[1], 255), qBound(0, rgb[2], 255), 255);
    return color;
}

void CPlayerContext::LoadIni() {
    // The user's copy is made from the shipped file and kept normalised; a shipped file newer
    // than the copy (the program was updated) replaces it. The program's own folder is only read.
    const QString pairs[2][2] = {{shippedCustomIni, customIniPath}, {shippedConfigIni, configIniPath}};
    for (const auto& pair : pairs) {
        const QFileInfo shipped(pair[0]), copy(pair[1]);
        const bool useCopy =
            copy.exists() && (!shipped.exists() || copy.lastModified() >= shipped.lastModified());
        const QString source = useCopy ? pair[1] : pair[0];
        QString error;
        if (QFileInfo::exists(source) && !NormalizeIni(source, pair[1], &error) && !error.isEmpty())
            qWarning("player: %s", qPrintable(error));
    }

    QSettings custom(customIniPath, QSettings::IniFormat);
    custom.setIniCodec("UTF-8");
    fontFamily = IniText(custom, QStringLiteral("Font/App"), QStringLiteral("Microsoft Yahei"));
    playListColors.clear();
    for (const char* key : {"default_color", "select_color", "hover_color", "playing_color",
                            "left_line_color", "bottom_line_color"})
        playListColors.append(ParseColor(IniText(custom, QStringLiteral("PlayList/") + QLatin1String(key))));

    QSettings config(configIniPath, QSettings::IniFormat);
    config.setIniCodec("UTF-8");
    appTitle = IniText(config, QStringLiteral("App/App"));
    appName = IniText(config, QStringLiteral("App/Name"));
    appVersion = IniText(config, QStringLiteral("App/Version"));
    appBuild = IniText(config, QStringLiteral("App/Build"));
    QString language = IniText(config, QStringLiteral("Language/Default"), QStringLiteral("English"));
    languageNames.clear();
    bool mapped = false;
    for (const QString& key : LanguageKeys()) {
        const QString name = IniText(config, QStringLiteral("Language/") + key);
        languageNames.append(name);
        if (!mapped && language == key) {
            language = name;
            mapped = true;
        }
    }
    defaults.language = language;
}

bool CPlayerContext::LoadConfig(QString* error) {
    LoadIni();
    settings = defaults;
    loadedPlayList.RemoveAll();
    const bool read = ReadSettings(settingsPath, &settings, error);
    loadedPlayList.SetName(settings.currentListName.toStdString());
    if (settings.exitKeepPlaylistFiles) {
        const QString listFile = PlayListFile(settings.currentListName);
        QString listError;
        if (!listFile.isEmpty() && QFileInfo::exists(listFile) &&
            !ReadPlayList(listFile, &loadedPlayList, &listError))
            qWarning("player: %s", qPrintable(listError));
    }
    return read;
}

bool CPlayerContext::SaveConfig(const CLumoPlayFileList* currentList, QString* error,
                                const CommitGate& beforeCommit) {
    SetError(error, QString());
    bool ok = true;
    PlayerSettings out = settings;
    out.listNames.clear();
    if (currentList && settings.exitKeepPlaylistFiles) {
        const QString name = QString::fromStdString(currentList->GetName());
        QString listError;
        const QString listFile = PlayListFile(name, &listError);
        if (listFile.isEmpty() ||
            !WriteFileAtomically(listFile, PlayListXml(*currentList), &listError, beforeCommit)) {
            AppendError(error, listError);
            ok = false;
        } else {
            out.listNames.append(name);
            out.currentListName = name;
        }
    }
    QString settingsError;
    if (!WriteFileAtomically(settingsPath, SettingsXml(out), &settingsError, beforeCommit)) {
        AppendError(error, settingsError);
        return false;
    }
    settings.listNames = out.listNames;
    settings.currentListName = out.currentListName;
    return ok;
}

bool CPlayerContext::EnsureOutputFolders(QString* error) const {
    for (const QString& folder : {settings.capPicFolder, settings.cutRecordFolder, settings.backupFolder})
        if (!folder.isEmpty() && !QDir().mkpath(folder)) {
            SetError(error, QStringLiteral("cannot create the folder %1").arg(folder));
            return false;
        }
    return true;
}

QString CPlayerContext::PlayListFile(const QString& listName, QString* error) const {
    return PlayListPath(listsDir, listName, error);
}

namespace {

// A translator of the file, a child of the application; null when it cannot be loaded.
QTranslator* LoadTranslator(const QString& file) {
    if (!QFileInfo::exists(file)) return nullptr;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(file)) return translator;
    delete translator;
    return nullptr;
}

void DropTranslator(QPointer<QTranslator>& translator) {
    if (!translator) return;
    QCoreApplication::removeTranslator(translator);
    delete translator;
    translator = nullptr;
}

}  // namespace

bool CPlayerContext::LoadLanguage(const QString& displayName) {
    const int index = languageNames.indexOf(displayName);
    if (index < 0 || index >= LanguageKeys().size()) {
        qDebug("Language file does not exists ... (%s)", qPrintable(displayName));
        return false;
    }
    const QString key = LanguageKeys().at(index);
    const QString file = QStringLiteral("%1/%2.qm").arg(languageDir, key);
    if (!QFileInfo::exists(file)) {
        qDebug("Sorry, language file does not exists ... (%s)", qPrintable(file));
        return false;
    }
    QTranslator* translator = LoadTranslator(file);
    if (!translator) {
        qDebug("Language file load failed ... (%s)", qPrintable(file));
        return false;
    }
    // English beneath a partial translation, so a text the language lacks never shows in the
    // language chosen before.
    const QString english = LanguageKeys().first();
    QTranslator* fallback =
        key == english ? nullptr : LoadTranslator(QStringLiteral("%1/%2.qm").arg(languageDir, english));
    DropTranslator(m_translator);
    DropTranslator(m_fallbackTranslator);
    if (fallback) QCoreApplication::installTranslator(fallback);
    m_fallbackTranslator = fallback;
    m_translator = translator;
    VantelUtility::InstallQtTranslation(key);
    return QCoreApplication::installTranslator(translator);
}

void CPlayerContext::ApplyFont() const {
    QFont font;
    font.setFamily(fontFamily);
    QApplication::setFont(font);
}

void CPlayerContext::LoadSkin() const {
    QFile file(styleSheetPath);
    QByteArray sheet;
    if (file.open(QIODevice::ReadOnly)) sheet = file.readAll();
    else qDebug("player: no style sheet at %s", qPrintable(styleSheetPath));
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        app->setStyleSheet(QString::fromUtf8(sheet));
}

void CPlayerContext::ElideText(QString& text, unsigned width, unsigned char charWidth, int reserve) {
    const unsigned max = width / (charWidth ? charWidth : 1);
    if (unsigned(text.size()) <= max) return;
    const int keep = qMax(0, int(max) - reserve);
    text = text.left(keep) + QStringLiteral("...");
}

int CPlayerContext::ToLocal8Bit(const QString& text, char* buffer, int size) {
    return VantelToLocal8Bit(text, buffer, size) < 0 ? -1 : 0;
}

int CPlayerContext::FromLocal8Bit(const char* bytes, QString& out) {
    if (!bytes) return -1;
    out = VantelFromLocal8Bit(bytes);
    return 0;
}

QString CPlayerContext::FolderToOpen(const QString& path) {
    if (path.trimmed().isEmpty()) return QString();
    const QFileInfo info(path);
    QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    // A folder that is gone: its nearest existing parent.
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (parent == folder) return QString();
        folder = parent;
    }
    return QDir::cleanPath(folder);
}

void CPlayerContext::OpenInExplorer(const QString& path) {
    const QString folder = FolderToOpen(path);
    if (folder.isEmpty()) return;
    INFRA::TestSeams::RecordUiEvent({QStringLiteral("explorer"), folder});
    if (!INFRA::TestSeams::ScriptedReply().isEmpty()) return;  // nobody to look at it
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        qDebug("player: no file manager opened %s", qPrintable(folder));
}

CLumoString CPlayerContext::FormatClipName(const CLumoTime& start, const CLumoTime& end) {
    CLumoString name;
    name.Append("%04d/%02d/%02d  %02d:%02d:%02d_%02d:%02d:%02d", start.GetYear(), start.GetMonth(),
                start.GetDay(), start.GetHour(), start.GetMinute(), start.GetSecond(), end.GetHour(),
                end.GetMinute(), end.GetSecond());
    return name;
}
