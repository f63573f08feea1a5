// VantelUtility: process-wide helpers of the programs: program directory, client number,
// languages, start with the desktop session, 8-bit texts, tray names, style sheets and icons.
#pragma once

#include <QIcon>
#include <QString>

class VantelUtility {
public:
    // Reads (and on first use creates and stores) the client number kept in the settings file,
    // and remembers the file as the program's settings file (its skin/language key names the
    // language). A relative name is taken in the program directory.
    static QString SetP2PClinetID(const QString& settingsFile);
    // The program's directory (no trailing separator).
    static QString GetModuleFileInformations();

    // Installs the language saved under skin/language of the program's settings file (English
    // when none is saved or it cannot be loaded). Returns the key that was installed, or empty
    // text when no translator could be loaded at all.
    static QString initLanguage();
    // Replaces the installed translator by "<program dir>/Languages/<key>.qm" (or the first file
    // of that name in a subfolder of Languages). False, with the old translator kept, when the
    // file is missing or not a translator file.
    static bool initLanguage(const QString& key);
    // Remembers the settings file and installs its saved language; returns the installed key.
    static QString InitLanguageByFile(const QString& settingsFile);
    // The key of the installed language (empty when none).
    static QString CurrentLanguage();
    // Qt's own texts (file dialogs, standard buttons) in the language of our key ("Chinese" ...),
    // from Qt's translations folder; English, or a language Qt has no file for, removes them.
    // Returns whether a translation of Qt's is now installed.
    static bool InstallQtTranslation(const QString& key);
    // Path of the translator file for a key, or empty text.
    static QString LanguageFilePath(const QString& key);

    // Whether the program starts with the desktop session (an XDG autostart entry under
    // $XDG_CONFIG_HOME/autostart, default ~/.config/autostart).
    static bool AutoRunWithSystem();
    // Adds or removes the autostart entry; true when the entry now is as asked. An entry that
    // already starts this program keeps its arguments (such as -s); another one is replaced.
    static bool AutoRunWithSystem(bool on);
    static QString AutoRunEntryPath();

    // Writes the whole text in the local 8-bit encoding (VantelToLocal8Bit), NUL-terminated, into
    // buffer. Returns the length, or -1 (and an empty buffer) when it does not fit or a character
    // has no encoding: a cut or changed path would name another file.
    static int getLocalChar(const QString& text, char* buffer, int size);

    // Tool tip of a host's tray icon by its key ("RecorderServer", "EventServer").
    static QString GetTrayName(const QString& key);
    // Text of "<program dir>/res/default/qss/<name>.qss" (empty when missing).
    static QString GetAppStylebyQssFile(const QString& name);
    // The image ":res/default/image/<folder>/<file>" as a w x h icon (null icon when missing).
    static QIcon getIcon(const QString& folder, const QString& file, int w, int h);

    // Stored passwords are kept in the settings files in an obfuscated form ("b64:" and the
    // base64 of the UTF-8 text): that hides them from a glance, it is no protection. 0, or -1
    // when the text is not in that form.
    static int DecryptStringEx(const QString& in, QString& out);
    static QString EncryptStringEx(const QString& in);
    // Folder (relative to the user's picture folder) where snapshots go.
    static QString GetSnapshotPath(int kind, int channel, int stream);
    // The player keeps the picture's aspect; nothing to set on this platform.
    static int SetDisplayScale(void* player, int mode = 0);
};
