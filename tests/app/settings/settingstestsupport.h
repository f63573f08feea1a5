// What the settings tests share: a client configuration, autostart folder and UI log of their
// own in a temporary folder, and access to the dialog's controls by their object names.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QWidget>

#include "LumoCClient/LumoCClient.h"
#include "VantelInfraAPI/testseams.h"
#include "settings/sysconfigpage.h"

class SettingsEnv {
public:
    // Call from init(): a fresh configuration file (defaults), no autostart entry, an empty log.
    void Reset() {
        m_dir.reset(new QTemporaryDir);
        qputenv("XDG_CONFIG_HOME", m_dir->filePath("xdg").toUtf8());
        INFRA::TestSeams::SetUiLogPath(m_dir->filePath("ui.log"));
        INFRA::TestSeams::SetScriptedReply("ok");
        SysConfigPage::SetChooser(nullptr);
        Config()->SetFilePath(IniPath());
    }
    // Call from cleanup(): the notices still on screen go, as they would after their few seconds.
    static void CloseNotices() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("InfraNotifier")) w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    static LumoCConfiguration* Config() { return LumoCConfiguration::GetLumoCConfig(); }
    QString IniPath() const { return m_dir->filePath("lumoc.ini"); }
    QString Path(const QString& name) const { return m_dir->filePath(name); }

    QByteArray IniBytes() const {
        QFile f(IniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // A stored value as text (lists joined by ","); empty when absent.
    QString Stored(const QString& key) const {
        QSettings s(IniPath(), QSettings::IniFormat);
        s.setIniCodec("UTF-8");
        return s.value(key).toStringList().join(",");
    }
    // Re-reads the file into the live records, as the next start of the program would.
    void ReloadFromFile() { Config()->SetFilePath(IniPath()); }

    // The notices shown so far: "title|text|kind" each.
    QStringList Notices() const { return Log("notify"); }
    QStringList Boxes() const { return Log("messagebox"); }
    QStringList Log(const QString& kind) const {
        QStringList out;
        QFile f(m_dir->filePath("ui.log"));
        if (!f.open(QIODevice::ReadOnly)) return out;
        for (const QString& line : QString::fromUtf8(f.readAll()).split('\n')) {
            QStringList fields = line.split('\t');
            if (!fields.isEmpty() && fields.first().startsWith(kind)) out << fields.mid(1).join('|');
        }
        return out;
    }
    void ClearLog() { QFile::remove(m_dir->filePath("ui.log")); }

private:
    QScopedPointer<QTemporaryDir> m_dir;
};

inline QObject* Control(QWidget* root, const QString& name) {
    return root->findChild<QObject*>(name);
}

inline void SetControl(QWidget* root, const QString& name, const QVariant& value) {
    QObject* o = Control(root, name);
    if (auto* c = qobject_cast<QComboBox*>(o))
        c->setCurrentIndex(value.toInt());
    else if (auto* b = qobject_cast<QAbstractButton*>(o))
        b->setChecked(value.toBool());
    else if (auto* s = qobject_cast<QSpinBox*>(o))
        s->setValue(value.toInt());
    else if (auto* e = qobject_cast<QLineEdit*>(o))
        e->setText(value.toString());
}

inline QVariant ControlState(QWidget* root, const QString& name) {
    QObject* o = Control(root, name);
    if (auto* c = qobject_cast<QComboBox*>(o)) return c->currentIndex();
    if (auto* b = qobject_cast<QAbstractButton*>(o)) return b->isChecked();
    if (auto* s = qobject_cast<QSpinBox*>(o)) return s->value();
    if (auto* e = qobject_cast<QLineEdit*>(o)) return e->text();
    return QVariant();
}
