#include "consoleutility.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMutex>
#include <QSettings>
#include <QStandardPaths>
#include <atomic>

#include "VantelInfraAPI/vantelutility.h"
#include "consoleshell.h"
#include "serverdata.h"

ConsoleUtility* ConsoleUtility::Instance() {
    static std::atomic<ConsoleUtility*> instance{nullptr};
    static QMutex mutex;
    ConsoleUtility* p = instance.load(std::memory_order_acquire);
    if (!p) {
        QMutexLocker lock(&mutex);
        p = instance.load(std::memory_order_relaxed);
        if (!p) {
            p = new ConsoleUtility;
            instance.store(p, std::memory_order_release);
        }
    }
    return p;
}

QString ConsoleUtility::GetAppDir() {
    return VantelUtility::GetModuleFileInformations() + QLatin1Char('/');
}

void ConsoleUtility::LoadInitialLanguage() {
    if (m_initialLoaded) return;
    m_initialLoaded = true;
    QSettings s(ServerDataStore::SettingsFile(), QSettings::IniFormat);
    s.setIniCodec("UTF-8");
    const QString key = s.value(QStringLiteral("skin/language")).toString();
    if (key.isEmpty() || !LoadLanguage(key)) LoadLanguage(QStringLiteral("English"));
}

bool ConsoleUtility::LoadLanguage(const QString& baseName) {
    qDebug().noquote() << "----------------->langFile:"
                       << GetAppDir() + QStringLiteral("Languages/") + baseName + ".qm";
    // The platform swaps translators: the previous one is removed, so keys missing in the new
    // language never show the old one's texts.
    return !baseName.isEmpty() && VantelUtility::initLanguage(baseName);
}

bool ConsoleUtility::SetAutoStart(bool on) {
    return VantelUtility::AutoRunWithSystem(on);
}

bool ConsoleUtility::IsAutoStart() {
    return VantelUtility::AutoRunWithSystem();
}

QString ConsoleUtility::GetSaveFileName(const QString& filter, const QString& baseName) {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (dir.isEmpty() || !QDir(dir).exists()) dir = QDir::homePath();
    QFileDialog dialog(nullptr, QString(), dir);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setAttribute(Qt::WA_QuitOnClose, false);
    if (!filter.isEmpty()) {
        dialog.setNameFilter(filter);
        // Qt's own dialog does not add the suffix by itself.
        const QString suffix = filter.section(QLatin1Char('.'), -1).remove(QLatin1Char(')')).trimmed();
        if (!suffix.isEmpty() && suffix != QLatin1String("*")) dialog.setDefaultSuffix(suffix);
    }
    dialog.selectFile(baseName + QDateTime::currentDateTime().toString(QStringLiteral(" yyyyMMddHHmmss")));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

QString ConsoleUtility::GetCustomName(const QString& key) {
    QSettings s(QStringLiteral("%1/custom.ini").arg(QDir::currentPath()), QSettings::IniFormat);
    s.setIniCodec("UTF-8");
    return s.value(QStringLiteral("Basic/") + key, key).toString();
}

QString ConsoleUtility::FormatRunTime(quint64 ms) {
    return ConsoleShell::FormatRunTime(ms);
}

QString ConsoleUtility::GetLocalIPv4() {
    return ConsoleShell::GetLocalIPv4();
}

bool ConsoleUtility::LocalPath(const QString& path, QByteArray* out, int maxBytes) {
    const QByteArray bytes = QFile::encodeName(path);
    if (path.isEmpty() || bytes.size() > maxBytes || bytes.contains('\0')) return false;
    *out = bytes;
    return true;
}
