// The player's play files: one CLumoFile per entry of a play list, made from one of three
// address forms (a local record file, a record file on a recorder's removable disk, a camera
// stream), and the named, ordered list that owns them.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "LumoBase/LumoBase.h"
#include "LumoBase/LumoListT.h"
#include "LumoFS/LumoFS.h"

class CLumoPlayFileList;

class CLumoFile : public CLumoObject {
public:
    enum Type : uint16_t { TYPE_UNKNOWN = 0, TYPE_LOCAL = 1, TYPE_DISK = 2, TYPE_STREAM = 4 };
    enum Flag : uint16_t { FLAG_MADE = 0x0001, FLAG_LOCAL_FORMAT = 0x0008, FLAG_DISK = 0x0010 };

    CLumoFile() = default;
    CLumoFile(const CLumoFile&) = delete;
    CLumoFile& operator=(const CLumoFile&) = delete;

    // Takes the address apart; `type` tells which form was recognised (TYPE_UNKNOWN keeps only
    // the address).
    void SetUrl(const std::string& url);
    // -4 for a null descriptor, else 0.
    int SetFromDesc(const CLumoFileDesc* desc);
    // -1 for a null descriptor, else 0.
    int ToDesc(CLumoFileDesc* desc) const;
    // Copies texts, times and attributes; the list membership is not copied.
    void CopyFrom(const CLumoFile& other);
    // The display name, or null when it is empty.
    const char* GetName() const { return name.empty() ? nullptr : name.c_str(); }
    // The list that holds the file, or null.
    CLumoPlayFileList* GetList() const { return m_list; }

    std::string url;     // the address the file was made from, unchanged
    std::string name;    // display name
    std::string path;    // local file path; for a recorder-disk file the whole address
    std::string format;  // "lumofs", "quii", or the local file's format in lower case
    CLumoTime timeS;
    CLumoTime timeE;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t videoCodec = 0;
    uint8_t audioCodec = 0;
    int32_t frameRate = 0;
    uint64_t length = 0;  // size in bytes
    int32_t stream = 0;   // from a recorder-disk file name (5th number)
    int32_t channel = 0;  // from a recorder-disk file name (4th number)
    uint16_t descAttribute = 1;
    uint16_t type = TYPE_UNKNOWN;
    uint16_t flags = FLAG_MADE;

private:
    friend class CLumoPlayFileList;
    CLumoPlayFileList* m_list = nullptr;
    CLumoListT<CLumoFile*>::Node* m_node = nullptr;  // its node in m_list, kept by the list
};

// A named, ordered list of play files. The list owns its files: what leaves it through Remove
// goes back to the caller, everything else is freed by the list.
class CLumoPlayFileList : public CLumoObject {
public:
    CLumoPlayFileList(const std::string& name, uint32_t maxCount, bool allowDuplicates);
    ~CLumoPlayFileList() override;
    CLumoPlayFileList(const CLumoPlayFileList&) = delete;
    CLumoPlayFileList& operator=(const CLumoPlayFileList&) = delete;

    const std::string& GetName() const { return m_name; }
    void SetName(const std::string& name) { m_name = name; }
    uint32_t GetMaxCount() const { return m_maxCount; }
    bool AllowsDuplicates() const { return m_allowDuplicates; }
    int GetCount() const { return static_cast<int>(m_nodes.GetCount()); }
    bool IsEmpty() const { return m_nodes.IsEmpty(); }
    CLumoFile* GetAt(int i) const;

    // Appends and takes ownership (file is emptied); -4 for null, -1 when the file is already in
    // a list (the caller keeps it then).
    int AddTail(std::unique_ptr<CLumoFile>& file);
    // Takes the file out and hands it back; null when file is null or not in this list.
    std::unique_ptr<CLumoFile> Remove(CLumoFile* file);
    // Takes the file out and frees it: 0, or -1 when it is not in this list (null: 0).
    int Delete(CLumoFile* file);
    // Frees every file.
    void RemoveAll();
    // The first file whose address equals url byte for byte; null when there is none.
    CLumoFile* Find(const std::string& url) const;
    // Find, and failing that the one file whose address reads as url once its bytes that are not
    // UTF-8 are replacement characters: an address that came back through a QString (a player's
    // report of the file it moved to). Null when none, or more than one, reads so.
    CLumoFile* FindAddress(const std::string& url) const;
    CLumoFile* GetHead() const { return GetAt(0); }
    // The file after file when it belongs to this list, else null.
    CLumoFile* GetNext(const CLumoFile* file) const;

    // A new file from the descriptor, appended (no duplicate check): 0, or -1 for null.
    int AddFromDesc(const CLumoFileDesc* desc, CLumoFile** added);
    // A new file per descriptor; when duplicates are not allowed, the descriptors whose address
    // is listed are dropped from descs first. The appended files go to *added (may be null).
    int AddFromDescList(CLumoFileDescList* descs, std::vector<CLumoFile*>* added);
    // Copies of the other list's files; when duplicates are not allowed, the other list's files
    // whose address is listed here are freed first.
    int AddFromList(CLumoPlayFileList* other, std::vector<CLumoFile*>* added);
    // Deletes from descs every descriptor whose address is listed here.
    void DropListedDescs(CLumoFileDescList* descs) const;
    // Frees from other every file whose address is listed here.
    void DropListedFiles(CLumoPlayFileList* other) const;

    // Adds the descriptors as AddFromDescList does and returns the file to play: the one whose
    // address is the first descriptor's, whether it was just added or already listed. Null
    // when descs is empty. Matching is by the whole address: two files of the same name in
    // different folders are two entries.
    CLumoFile* AddAndPick(CLumoFileDescList* descs, std::vector<CLumoFile*>* added);

    // The nodes behind the list, for tests of their blocks.
    using Nodes = CLumoListP<CLumoFile>;
    const Nodes& NodeList() const { return m_nodes; }

private:
    bool Holds(const CLumoFile* file) const;

    std::string m_name;
    uint32_t m_maxCount;
    bool m_allowDuplicates;
    // Its files, in blocks of 16 nodes; the list deletes its files itself, the nodes own nothing.
    Nodes m_nodes;
};

// File names are kept as the bytes the file system has: a name that is not valid UTF-8 does
// not survive a QString ("caf\xe9" reads back as "caf\xef\xbf\xbd"), so paths travel as
// bytes, and where one has to pass as a QString it goes as a file: URL whose percent escapes
// hold every byte.

// The bytes of a path or file: URL, made absolute against baseDir when relative. A path that
// came through a QString (a file dialog, the command line) and lost bytes on the way is found
// again in its folder, when exactly one name there reads as it does.
QByteArray NativePath(const QString& pathOrUrl, const QString& baseDir);
// The file: URL that carries a path's bytes through a QString.
QString NativeFileUrl(const QByteArray& path);
// The record files (by suffix: accepted(suffix) says which) in a folder, as paths of bytes in
// byte order; with subFolders, those of its sub-folders too. Hidden names are left out;
// symbolic links are taken only to files, and only when followLinks.
QList<QByteArray> NativeFolderFiles(const QByteArray& folder, bool subFolders, bool followLinks,
                                    bool (*accepted)(const QString& suffix));

// The one address of a local record file, however its path came in (file dialog, folder,
// drop, command line): a path or a file: URL, made absolute against baseDir when relative,
// cleaned, with symbolic links resolved when the file exists. Empty for an empty path.
std::string LocalRecordUrl(const QString& pathOrUrl, const QString& baseDir);
// The same for a path of bytes (absolute, or against the working folder).
std::string LocalRecordUrl(const QByteArray& nativePath);
