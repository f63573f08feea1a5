// ConsoleUtility: the management console's process-wide helpers: program folder, languages,
// autostart, the save dialog, custom names, and the shell's run-time and address texts.
#pragma once

#include <QByteArray>
#include <QString>

class ConsoleUtility {
public:
    static ConsoleUtility* Instance();

    // The executable's directory followed by "/".
    QString GetAppDir();
    // Once per process: the language stored under skin/language of VantelServer.ini, else English.
    void LoadInitialLanguage();
    // Replaces the installed translator by "Languages/<base>.qm" of the program directory; false
    // (the previous one kept) when the file is missing or not a translator file.
    bool LoadLanguage(const QString& baseName);

    // The XDG autostart entry of the program. True when the entry now is as asked.
    bool SetAutoStart(bool on);
    bool IsAutoStart();

    // A modal save dialog on the desktop folder (home when there is none) proposing
    // "<baseName> yyyyMMddHHmmss" with the filter's suffix; the chosen path or empty text.
    QString GetSaveFileName(const QString& filter, const QString& baseName);
    // "Basic/<key>" of custom.ini in the current directory; the key itself when missing.
    QString GetCustomName(const QString& key);

    QString FormatRunTime(quint64 ms);
    QString GetLocalIPv4();

    // The path as zero-terminated local 8-bit text of at most maxBytes bytes (the engine's
    // buffer): false, and nothing in *out, when it is longer; a cut path would name another file.
    static bool LocalPath(const QString& path, QByteArray* out, int maxBytes = 1023);

private:
    ConsoleUtility() = default;
    bool m_initialLoaded = false;  // GUI thread
};
