#include "VantelInfraAPI/vantelutility.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMap>
#include <QPixmap>
#include <QSettings>
#include <QStandardPaths>
#include <QTextStream>
#include <QTranslator>
#include <QUuid>
#include <QVector>
#include <cstring>

#include "LumoBase/atomicfile.h"
#include "VantelCore/local8bit.h"
#include "VantelInfraAPI/testseams.h"

namespace {

// GUI thread only.
struct LanguageState {
    QString settingsFile;
    QString current;
    QTranslator* translator = nullptr;
    QTranslator* qtTranslator = nullptr;  // Qt's own texts, in the same language
};

LanguageState& lang() {
    static LanguageState s;
    return s;
}

// "/name.ini" means the file of that name in the program directory, as does "name.ini".
QString resolveInProgramDir(const QString& file) {
    QFileInfo fi(file);
    if (fi.isRelative()) return VantelUtility::GetModuleFileInformations() + QLatin1Char('/') + file;
    if (fi.absolutePath() == QLatin1String("/"))
        return VantelUtility::GetModuleFileInformations() + QLatin1Char('/') + fi.fileName();
    return file;
}

QString desktopQuote(const QString& arg) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needs = arg.isEmpty();
    for (const QChar c : arg)
        if (reserved.contains(c)) needs = true;
    if (!needs) return arg;
    QString out = QStringLiteral("\"");
    for (const QChar c : arg) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    out += QLatin1Char('"');
    // In a desktop entry's value a backslash is itself escaped once more.
    out.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    return out;
}

// The program of an entry's Exec value (its first word, unquoted) and the rest of the value as
// written there (the arguments, still escaped). False when the value holds no program.
bool splitExec(const QString& value, QString* program, QString* rest) {
    // The value's own escapes (\s, \n, \t, \r, \\) first; each decoded character keeps where it
    // ends in the value, so that the arguments can be kept exactly as written.
    QString decoded;
    QVector<int> ends;
    for (int i = 0; i < value.size(); ++i) {
        QChar c = value[i];
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar e = value[++i];
            c = e == QLatin1Char('s')   ? QChar(QLatin1Char(' '))
                : e == QLatin1Char('n') ? QChar(QLatin1Char('\n'))
                : e == QLatin1Char('t') ? QChar(QLatin1Char('\t'))
                : e == QLatin1Char('r') ? QChar(QLatin1Char('\r'))
                                        : e;
        }
        decoded += c;
        ends << i + 1;
    }
    int k = 0;
    while (k < decoded.size() && decoded[k].isSpace()) ++k;
    QString word;
    if (k < decoded.size() && decoded[k] == QLatin1Char('"')) {
        bool closed = false;
        for (++k; k < decoded.size(); ++k) {
            const QChar c = decoded[k];
            if (c == QLatin1Char('\\') && k + 1 < decoded.size()) {
                word += decoded[++k];
            } else if (c == QLatin1Char('"')) {
                closed = true;
                ++k;
                break;
            } else {
                word += c;
            }
        }
        if (!closed) return false;
    } else {
        while (k < decoded.size() && !decoded[k].isSpace()) word += decoded[k++];
    }
    if (word.isEmpty()) return false;
    *program = word;
    *rest = value.mid(ends[k - 1]).trimmed();  // k > 0: the program took at least one character
    return true;
}

// The arguments of the present entry when it starts this very program (the operator's "-s",
// say); empty otherwise.
QString argumentsOfOurEntry(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return QString();
    bool inMain = false;
    for (const QString& raw : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMain || !line.startsWith(QLatin1String("Exec"))) continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq < 0 || line.leftRef(eq).trimmed() != QLatin1String("Exec")) continue;
        QString program, rest;
        if (!splitExec(line.mid(eq + 1), &program, &rest)) return QString();
        const QString ours = QCoreApplication::applicationFilePath();
        const QString canonical = QFileInfo(program).canonicalFilePath();
        const bool same =
            program == ours || (!canonical.isEmpty() && canonical == QFileInfo(ours).canonicalFilePath());
        return same ? rest : QString();
    }
    return QString();
}

QString appName() {
    QString n = QCoreApplication::applicationName();
    return n.isEmpty() ? QStringLiteral("VantelApp") : n;
}

}  // namespace

QString VantelUtility::SetP2PClinetID(const QString& settingsFile) {
    lang().settingsFile = settingsFile;
    QSettings settings(resolveInProgramDir(settingsFile), QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    QString number = settings.value(QStringLiteral("client/number")).toString().trimmed();
    if (number.isEmpty()) {
        number = QUuid::createUuid().toString(QUuid::Id128).left(16).toUpper();
        settings.setValue(QStringLiteral("client/number"), number);
        settings.sync();
    }
    return number;
}

QString VantelUtility::GetModuleFileInformations() {
    const QString over = INFRA::TestSeams::ProgramDirOverride();
    if (!over.isEmpty()) return QDir::cleanPath(over);
    return QCoreApplication::applicationDirPath();
}

QString VantelUtility::LanguageFilePath(const QString& key) {
    if (key.isEmpty() || key.contains(QLatin1Char('/')) || key.contains(QLatin1String("..")))
        return QString();
    const QString dir = GetModuleFileInformations() + QStringLiteral("/Languages");
    const QString direct = dir + QLatin1Char('/') + key + QStringLiteral(".qm");
    if (QFileInfo(direct).isFile()) return direct;
    QDirIterator it(dir, {key + QStringLiteral(".qm")}, QDir::Files, QDirIterator::Subdirectories);
    return it.hasNext() ? it.next() : QString();
}

bool VantelUtility::initLanguage(const QString& key) {
    if (!key.isEmpty() && key == lang().current && lang().translator) return true;  // already installed
    const QString path = LanguageFilePath(key);
    if (path.isEmpty()) return false;
    auto* t = new QTranslator(QCoreApplication::instance());
    if (!t->load(path)) {
        delete t;
        return false;
    }
    LanguageState& s = lang();
    if (s.translator) {
        QCoreApplication::removeTranslator(s.translator);
        delete s.translator;
    }
    s.translator = t;
    s.current = key;
    InstallQtTranslation(key);
    // Posts QEvent::LanguageChange to every widget, which re-translates the windows.
    QCoreApplication::installTranslator(t);
    return true;
}

bool VantelUtility::InstallQtTranslation(const QString& key) {
    // Our language keys and the locale names of Qt's translation files.
    static const QMap<QString, QString> locales = {
        {QStringLiteral("Chinese"), QStringLiteral("zh_CN")}, {QStringLiteral("Italian"), QStringLiteral("it")},
        {QStringLiteral("Polish"), QStringLiteral("pl")},     {QStringLiteral("Spanish"), QStringLiteral("es")},
        {QStringLiteral("Russian"), QStringLiteral("ru")},    {QStringLiteral("Portugal"), QStringLiteral("pt")},
        {QStringLiteral("Thai"), QStringLiteral("th")},       {QStringLiteral("Turkish"), QStringLiteral("tr")},
        {QStringLiteral("Persian"), QStringLiteral("fa")},    {QStringLiteral("French"), QStringLiteral("fr")},
        {QStringLiteral("Greek"), QStringLiteral("el")},      {QStringLiteral("Hebrew"), QStringLiteral("he")},
        {QStringLiteral("Czech"), QStringLiteral("cs")}};
    LanguageState& s = lang();
    if (s.qtTranslator) {
        QCoreApplication::removeTranslator(s.qtTranslator);
        delete s.qtTranslator;
        s.qtTranslator = nullptr;
    }
    const QString locale = locales.value(key);
    if (locale.isEmpty()) return false;
    auto* t = new QTranslator(QCoreApplication::instance());
    t->setObjectName(QStringLiteral("qtbase"));  // Qt's own texts, beside the program's translator
    if (!t->load(QStringLiteral("qtbase_") + locale, QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
        delete t;
        return false;
    }
    s.qtTranslator = t;
    QCoreApplication::installTranslator(t);
    return true;
}

QString VantelUtility::initLanguage() {
    QString key;
    if (!lang().settingsFile.isEmpty()) {
        QSettings settings(resolveInProgramDir(lang().settingsFile), QSettings::IniFormat);
        settings.setIniCodec("UTF-8");
        key = settings.value(QStringLiteral("skin/language"), QStringLiteral("English")).toString();
    }
    if (key.isEmpty()) key = QStringLiteral("English");
    if (initLanguage(key)) return key;
    if (key != QLatin1String("English") && initLanguage(QStringLiteral("English")))
        return QStringLiteral("English");
    return QString();
}

QString VantelUtility::InitLanguageByFile(const QString& settingsFile) {
    lang().settingsFile = settingsFile;
    return initLanguage();
}

QString VantelUtility::CurrentLanguage() {
    return lang().current;
}

QString VantelUtility::AutoRunEntryPath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QFileInfo(config).isRelative())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/") + appName() + QStringLiteral(".desktop");
}

bool VantelUtility::AutoRunWithSystem() {
    QFile f(AutoRunEntryPath());
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    const QString text = QString::fromUtf8(f.readAll());
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.compare(QLatin1String("Hidden=true"), Qt::CaseInsensitive) == 0) return false;
        if (line.compare(QLatin1String("X-GNOME-Autostart-enabled=false"), Qt::CaseInsensitive) == 0)
            return false;
    }
    return true;
}

bool VantelUtility::AutoRunWithSystem(bool on) {
    const QString path = AutoRunEntryPath();
    if (!on) {
        if (QFile::exists(path) && !QFile::remove(path)) return false;
        return true;
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    // An entry of this program keeps the arguments the operator gave it; one of another copy
    // is replaced whole.
    const QString arguments = argumentsOfOurEntry(path);
    const QByteArray entry =
        (QStringLiteral("[Desktop Entry]\n") + QStringLiteral("Type=Application\n") +
         QStringLiteral("Name=") + appName() + QStringLiteral("\n") + QStringLiteral("Exec=") +
         desktopQuote(QCoreApplication::applicationFilePath()) +
         (arguments.isEmpty() ? QString() : QLatin1Char(' ') + arguments) + QStringLiteral("\n") +
         QStringLiteral("Path=") + QCoreApplication::applicationDirPath() +
         QStringLiteral("\nTerminal=false\nX-GNOME-Autostart-enabled=true\n"))
            .toUtf8();
    const LumoSaveResult saved =
        LumoSaveFileAtomic(QFile::encodeName(path).toStdString(), entry.constData(), size_t(entry.size()), 0644);
    if (!saved.ok()) qWarning("autostart entry not written: %s", saved.message.c_str());
    return saved.ok();
}

int VantelUtility::getLocalChar(const QString& text, char* buffer, int size) {
    return VantelToLocal8Bit(text, buffer, size);
}

QString VantelUtility::GetTrayName(const QString& key) {
    if (key == QLatin1String("RecorderServer")) return QStringLiteral("KestoServer");
    if (key == QLatin1String("EventServer")) return QStringLiteral("PavoServer");
    return key;
}

QString VantelUtility::GetAppStylebyQssFile(const QString& name) {
    QFile f(GetModuleFileInformations() + QStringLiteral("/res/default/qss/") + name +
            QStringLiteral(".qss"));
    if (!f.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(f.readAll());
}

QIcon VantelUtility::getIcon(const QString& folder, const QString& file, int w, int h) {
    QPixmap pm(QStringLiteral(":res/default/image/") + folder + QLatin1Char('/') + file);
    if (pm.isNull()) return QIcon();
    if (w > 0 && h > 0) pm = pm.scaled(w, h, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return QIcon(pm);
}

int VantelUtility::DecryptStringEx(const QString& in, QString& out) {
    out.clear();
    if (!in.startsWith(QLatin1String("b64:"))) return -1;
    const QByteArray raw =
        QByteArray::fromBase64(in.mid(4).toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (raw.isEmpty() && in.size() > 4) return -1;
    out = QString::fromUtf8(raw);
    return 0;
}

QString VantelUtility::EncryptStringEx(const QString& in) {
    return QStringLiteral("b64:") + QString::fromLatin1(in.toUtf8().toBase64());
}

QString VantelUtility::GetSnapshotPath(int, int, int) {
    return QStringLiteral("Snapshot");
}

int VantelUtility::SetDisplayScale(void*, int) {
    return 0;
}
