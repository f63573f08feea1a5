// The process-wide queue of record downloads: each task is a list of record files that the media
// library writes into one output file, named by the client's record naming rule. No window, timer
// or thread of its own: every call comes from the GUI thread, and progress is polled.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <map>
#include <memory>

#include "LumoBase/LumoBase.h"
#include "LumoFS/LumoFS.h"

class IVantelDataDEV;

// One download of the queue. Owned by the queue's list.
struct DownloadRecTask {
    enum State {
        StateWaiting = 0,      // queued and shown
        StateDownloading = 1,  // its download is open
        StateEnded = 2,        // stopped and closed (finished, or stopped by the operator)
        StateFailed = 3,       // refused, or ended with an error: nothing was written
        StateQueued = 4,       // queued, not yet shown
        StateTaken = 5,        // taken by a start without a name, not yet shown
    };

    int deviceId = -1;
    int channelIndex = -1;
    std::unique_ptr<CLumoFileDescList> fileList;  // a copy of the caller's list
    int state = StateWaiting;
    void* handle = nullptr;  // not null while a download is open
    int format = -1;         // 1 dav, 2 avi, 3 mp4, 4 jpg
    int timerId = 0;         // the download dialog's poll timer of the task's row
    bool canMoveUp = false;  // kept by the download dialog
    QByteArray name;         // output file name (UTF-8); the task's key in every call by name
    int nameInUrl = -1;      // 1: the name goes into the target URL; 0: queued names are numbered apart
    uint64_t bytesDone = 0;
    int percent = 0;
    bool withinSize = true;  // cleared the first time the bytes written exceed the files' total size

    int result = 0;         // the download's own result, as last polled (negative: it failed)
    bool complete = false;  // finished well: its file exists and is never downloaded again
    QString filePath;       // the file the download writes (the library may number it apart)
};

using DownloadRecTaskList = QList<DownloadRecTask*>;
using DownloadRecTaskGroups = std::map<int, std::map<int, DownloadRecTaskList>>;

class DownloadRecManager : public CLumoObject {
public:
    // Format codes of the output.
    enum { FormatDav = 1, FormatAvi = 2, FormatMp4 = 3, FormatJpg = 4 };
    // Progress flag of a finished download.
    enum { FlagFinished = 0x20 };

    // Made on the first call; lives until the process ends.
    static DownloadRecManager* Instance();

    DownloadRecManager();
    // Stops and closes every download still open, then frees every task.
    ~DownloadRecManager() override;
    DownloadRecManager(const DownloadRecManager&) = delete;
    DownloadRecManager& operator=(const DownloadRecManager&) = delete;

    // Queues a task of a copy of `list` (state 4): 0, or -1 when the list is null or empty.
    int AddTasks(CLumoFileDescList* list, int deviceId, int channelIndex, int format, int nameInUrl);
    // Writes the output file name into the list's first description (its save-file name).
    static void MakeSaveFileName(CLumoFileDescList* list, IVantelDataDEV* dev, int format);

    // Starts a task: an empty name takes the first queued one (state 4 -> 5), a name that task
    // (-> 1). 0 started; -1 nothing to start; LUMO_ERR_STATE when the task's download is open
    // already; LUMO_ERR_EXISTS when it finished well (its file is there); else the library's result.
    int StartDown(int deviceId, int channelIndex, const char* url, const char* key, const char* name);
    // Stops and closes a task's download (an empty name: the first task holding one). 0; -1 no
    // such task; -2 it holds no download; else the library's result.
    int StopTask(int deviceId, int channelIndex, const char* name);
    // The progress of a task (an empty name: the first task). The download's own result (0 or
    // negative), -1 no such task, -2 no download, else the library's result. Outputs it does not
    // write keep their values.
    int GetProgress(int deviceId, int channelIndex, int* flags, unsigned* percent, unsigned* bitsPerSecond,
                    uint64_t* bytesDone, uint64_t* totalBytes, uint64_t* secondsLeft, const char* name);
    // The task's format code (an empty name: the first task), or -1.
    int GetTaskFormat(int deviceId, int channelIndex, const char* name);
    DownloadRecTask* FindTask(int deviceId, int channelIndex, const char* name);
    // Takes the task out of the queue and frees it, stopping its download if one is open. 0, or -1.
    int RemoveTask(int deviceId, int channelIndex, const char* name);
    // The ordered list (reordered in place by the download dialog), or null when empty.
    DownloadRecTaskList* GetTaskList();
    const DownloadRecTaskGroups& GetTaskGroups() const { return m_groups; }
    bool HasActiveTask() const;
    bool IsDownloading(int deviceId, int channelIndex) const;
    bool IsChannelDownloading(int64_t channelObjectId) const;
    // Stops and closes every download, frees every task.
    void ClearTasks();

    // Helpers of the naming rule and the target, public for the pages and for tests.
    // "1H2M3S"-style length of a span in milliseconds; "" for a negative span, "1S" below 1 s.
    static QString LengthSuffix(int64_t ms);
    // "mp4", "dav", "avi", "jpg", or "" for another code.
    static QString FormatExtension(int format);
    // A text made safe as part of a file name: no separators, control characters or "..".
    static QString SafeNamePart(const QString& text);
    // `name` with "(n)" before its extension (the text after its last dot; at the end when none).
    static QString NumberedName(const QString& name, int n);
    // The download folder: the client's record folder + "/Kesto" ($HOME/Record/Kesto when unset).
    static QString DownloadFolder();
    // "filew://local/type=rec[&format=<ext>]&pathname=<folder>"; the folder is created. 0, or -1
    // when it cannot be.
    static int MakeTargetUrl(int format, QByteArray* url, const QString& folder = QString());

private:
    DownloadRecTaskList* List();
    DownloadRecTask* Find(const char* name);
    // Stop, detach and close; the handle is cleared when the close succeeded.
    int EndDownload(DownloadRecTask* task);
    static int OnDownloadEvent(CLumoObject* owner, int code, void* sender, void* p1, void* p2);

    DownloadRecTaskGroups m_groups;  // GUI thread only
};
