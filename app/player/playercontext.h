// The player's application context: where its files live, its ini files (program title and
// language names, skin font and play-list colours), the user's settings with the stream-URL
// history, and the play list kept from the last run.
//
// Folders: the program ships read-only data beside its executable (<appDir>/data: config,
// skin, language); the user's copies of the ini files, the settings file and the play lists
// live in the user's config folder; snapshots, clips and backups in the user's data folder.
#pragma once

#include <QColor>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTranslator>

#include "LumoBase/LumoBase.h"

#include "player/playerfiles.h"
#include "player/playfile.h"

class CPlayerContext {
public:
    // The process's context, made on first use from the standard folders. Needs the
    // application object (for the program's folder and name).
    static CPlayerContext* Instance();

    // A context over the given folders (the program's, the user's config and data folders).
    CPlayerContext(const QString& appDir, const QString& configDir, const QString& dataDir);
    CPlayerContext(const CPlayerContext&) = delete;
    CPlayerContext& operator=(const CPlayerContext&) = delete;

    // The 14 languages, in menu order: key (the translator file's base name).
    static const QStringList& LanguageKeys();

    // Copies the shipped ini file to the user's folder, or rewrites the user's copy, as UTF-8
    // with a byte-order mark and "/" for every backslash. The target is replaced atomically: a
    // failed or abandoned rewrite leaves it as it was. True when the target was written.
    static bool NormalizeIni(const QString& source, const QString& target, QString* error,
                             const CommitGate& beforeCommit = CommitGate());
    // "r,g,b" into an opaque colour; missing or unreadable parts are 0.
    static QColor ParseColor(const QString& text);

    // Reads the ini files, then the settings file and the current play list. False when the
    // settings file could not be read whole (*error says why); the defaults stand then.
    bool LoadConfig(QString* error = nullptr);
    // Writes the settings file and, when play lists are kept, the given list's file; each is
    // replaced atomically. False and *error when a file could not be written (the old one stays).
    bool SaveConfig(const CLumoPlayFileList* currentList, QString* error = nullptr,
                    const CommitGate& beforeCommit = CommitGate());
    // Creates the snapshot, clip and backup folders; false and *error naming the first that failed.
    bool EnsureOutputFolders(QString* error = nullptr) const;
    // The file of a play list (empty when the name cannot be a list's name).
    QString PlayListFile(const QString& listName, QString* error = nullptr) const;

    // Installs the translator of the language with this display name (<languageDir>/<key>.qm, the
    // first key whose display name equals it) in place of the one installed before, with the
    // English file beneath it for texts the language lacks. False (the language shown stays) when
    // no language has that name or its file is missing or unreadable.
    bool LoadLanguage(const QString& displayName);
    // The application font of fontFamily.
    void ApplyFont() const;
    // The style sheet at styleSheetPath (an unreadable file gives none).
    void LoadSkin() const;

    // Shortens text to width / charWidth characters: a longer text keeps its first
    // width / charWidth - reserve characters followed by "...".
    static void ElideText(QString& text, unsigned width, unsigned char charWidth, int reserve);
    // The whole text in the platform libraries' 8-bit encoding (VantelToLocal8Bit) into buffer
    // (size bytes, zero-terminated). 0, or -1 with an empty buffer for a null buffer, a text that
    // does not fit or a character without an encoding: a path is never cut.
    static int ToLocal8Bit(const QString& text, char* buffer, int size);
    // Zero-terminated bytes in that encoding into out. 0, or -1 for null bytes.
    // Called from player-event threads too: it reads no context field.
    static int FromLocal8Bit(const char* bytes, QString& out);
    // Opens the file manager on the folder of path (the path itself when it is a folder; for a
    // path that does not exist, its nearest existing folder). Creates nothing; an empty path does
    // nothing. The opening is recorded in the UI log, and a scripted test run opens nothing.
    static void OpenInExplorer(const QString& path);
    // The folder that OpenInExplorer opens (empty when none).
    static QString FolderToOpen(const QString& path);
    // "YYYY/MM/DD  hh:mm:ss_hh:mm:ss": the start's date and time and the end's time.
    static CLumoString FormatClipName(const CLumoTime& start, const CLumoTime& end);

    // Folders and files.
    QString appDir;             // the executable's folder
    QString shippedConfigIni;   // <appDir>/data/config/config.ini
    QString shippedCustomIni;   // <appDir>/data/skin/custom.ini
    QString languageDir;        // <appDir>/data/language, one <key>.qm per language
    QString styleSheetPath;     // <appDir>/data/skin/qss/picture.qss
    QString lostVideoLogoPath;  // <appDir>/data/skin/picture/singal_view.png
    QString userDir;            // the user's config folder
    QString configIniPath;      // <userDir>/config.ini
    QString customIniPath;      // <userDir>/custom.ini
    QString settingsPath;       // <userDir>/PlayerConfig.xml
    QString listsDir;           // <userDir>/lists
    QString userDataDir;        // the user's data folder: default output folders

    // From custom.ini.
    QString fontFamily;
    QList<QColor> playListColors;  // default, select, hover, playing, left line, bottom line
    // From config.ini.
    QString appTitle, appName, appVersion, appBuild;
    QStringList languageNames;  // display names in the order of LanguageKeys()

    PlayerSettings settings;
    PlayerSettings defaults;  // what a missing or unreadable settings field falls back to
    // The files of the play list kept from the last run.
    CLumoPlayFileList loadedPlayList{std::string(), 65535, false};

private:
    void LoadIni();

    // The player's installed translators (GUI thread): the chosen language's and English beneath it.
    QPointer<QTranslator> m_translator, m_fallbackTranslator;
};
