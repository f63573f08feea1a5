// The player's own files: the settings file (settings, play-list names, stream-URL history), one
// XML file per play list, and the atomic writer every one of them goes through.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class CLumoPlayFileList;

// Called after the new content is written and before it replaces the old file; returning false
// abandons the save and leaves the old file as it was.
using CommitGate = std::function<bool()>;

// Writes data to path through a temporary file that is renamed over it, so a reader finds either
// the old file or the whole new one, never a part. Creates the folder. false and *error on failure.
bool WriteFileAtomically(const QString& path, const QByteArray& data, QString* error,
                         const CommitGate& beforeCommit = CommitGate());

struct PlayerSettings {
    QString language = QStringLiteral("English");
    int capPicFormat = 3;  // 3 jpg, 35 bmp
    QString capPicFolder;
    int cutRecordFormat = 0;  // 0 dav, 1 avi
    int cutRecordSize = 1;
    QString cutRecordFolder;
    int backupFormat = 1;  // 1 dav, 2 avi
    QString backupFolder;
    int exitKeepPlaylistFiles = 1;  // non-zero: the play list is kept across starts
    int stick = 0;                  // stay on top: 0 never, 1 always, 2 while playing
    QStringList listNames;          // the play lists kept (written when exitKeepPlaylistFiles)
    QString currentListName = QStringLiteral("Playlist");
    QStringList urlRecords;  // stream-URL history, newest first
};

bool operator==(const PlayerSettings& a, const PlayerSettings& b);

// The settings file's text. The list names and the current list are written only when
// exitKeepPlaylistFiles is non-zero.
QByteArray SettingsXml(const PlayerSettings& s);
// Reads the settings file into *s, whose values stand for what the file lacks (an empty folder,
// or "(null)", keeps the default). True when the file was read and held its three sections;
// *error says why not. Files of earlier versions, whose texts were not escaped, are read too.
bool ReadSettings(const QString& path, PlayerSettings* s, QString* error);

QByteArray PlayListXml(const CLumoPlayFileList& list);
// Appends the file entries of a play-list file to *list (an entry that lacks a field, or holds
// one that does not read, is left out). True when the file held its file section.
bool ReadPlayList(const QString& path, CLumoPlayFileList* list, QString* error);

// The file of a play list inside listsDir: the name is encoded so that no name ("..", "a/b",
// "/etc/x") leaves the folder or meets another list's file. Empty (and *error) for an empty
// name or one too long for a file name.
QString PlayListPath(const QString& listsDir, const QString& listName, QString* error = nullptr);
