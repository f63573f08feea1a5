// The clip queue: cuts a time range of a record file into a new file, one clip at a time. Each
// clip is a CLumoDownload task, a worker thread that runs one engine download and polls its
// progress until it ends; the queue keeps the clips that wait and starts the next when one ends.
//
// Threads: AddTask, StopAll and the observers' attachment run on the GUI thread; a task's result
// is reported on the task's own thread (or, when its download could not be started, on the thread
// that started it), and the queue starts the next task from there.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "LumoBase/LumoBase.h"
#include "LumoBase/LumoListT.h"

class CLumoFile;
class CDownloadfileList;

class CLumoDownload : public CLumoObject {
public:
    // Result codes reported through both signals.
    enum Result { RESULT_DONE = 1, RESULT_FAILED = 2, RESULT_DISK_FULL = 3 };
    // Run state.
    enum RunState { STATE_NEW = 0, STATE_STARTED = 1, STATE_STOPPED = 2 };

    // Copies what it needs of clip (url, path, times, length): the caller may delete it at once.
    // format 1 writes AVI, any other value DAV.
    CLumoDownload(const CLumoFile& clip, const CLumoString& folder, int format);
    // Stops the download and waits for the poll thread; never call it on that thread.
    ~CLumoDownload() override;
    CLumoDownload(const CLumoDownload&) = delete;
    CLumoDownload& operator=(const CLumoDownload&) = delete;

    // Opens and starts the download and the poll thread. -7 when the task was started before;
    // otherwise 0, or the engine's error when the download could not be started: the failure
    // (result 2, no output path) has then been reported and no thread runs.
    int Start();
    // Asks the poll thread to end and stops the download (a stopped download leaves no file),
    // then waits for the thread. Not on the poll thread. A task stopped while it polls reports
    // nothing; one stopped while its download was being opened reports a failure.
    void Stop();
    // Ends the download once its result was reported (callable on the poll thread: it does not
    // wait for that thread).
    void Finish();

    // The clip result of a download that ended with the engine's error code.
    static int ResultOf(int engineError);
    // Poll period of every task (1000 ms; tests shorten it).
    static void SetPollIntervalMs(int ms);

    ILumoSignal& ResultSignal() { return m_resultSignal; }
    ILumoSignal& DoneSignal() { return m_doneSignal; }

    const std::string& GetSourceUrl() const { return m_sourceUrl; }
    // The source URL with the clip's range, as handed to the engine.
    std::string BuildSource() const;
    // "filew://" target of the clip folder in the task's format.
    std::string BuildTarget() const;
    const CLumoTime& GetStartTime() const { return m_startTime; }
    const CLumoTime& GetEndTime() const { return m_endTime; }
    int GetFormat() const { return m_format; }
    // The clip file's final path; empty until the download was opened.
    std::string GetOutputPath() const;
    int GetRunState() const { return m_runState.load(); }
    // Whether the poll thread is still running.
    bool IsPolling() const { return m_thread.IsRunning(); }
    // Joins a poll thread that has ended (frees its resources). Not on the poll thread.
    void Reap();
    // Waits for the poll thread to end (it must be ending: reported or stopped). Not on it.
    void Join();

private:
    friend class CDownloadfileList;

    void QryProgress(CLumoThread& self);
    void Report(int code, const char* outputPath);

    // Set at construction, read-only afterwards.
    std::string m_sourceUrl;
    std::string m_sourcePath;  // empty when the clip file had none
    CLumoTime m_startTime, m_endTime;
    uint64_t m_size = 0;
    std::string m_folder;
    int m_format = 0;

    ILumoSignal m_resultSignal;  // thread-safe on its own
    ILumoSignal m_doneSignal;    // thread-safe on its own

    mutable CLumoMutex m_lock;  // guards m_download and m_outputPath
    void* m_download = nullptr;
    std::string m_outputPath;
    std::atomic<int> m_runState{STATE_NEW};
    // The poll thread's own: last values of the engine's progress and the count of polls that
    // showed the end.
    int m_lastState = 0, m_lastError = 0, m_lastProgress = 0;
    uint8_t m_endCount = 0;

    std::mutex m_joinLock;  // serialises the joins of m_thread (Stop, Reap)
    CLumoThread m_thread;   // started under m_lock; joined under m_joinLock

    // Guarded by the owning manager's lock.
    CDownloadfileList* m_ownerList = nullptr;
    CLumoListT<CLumoDownload*>::Node* m_ownerNode = nullptr;  // its node in m_ownerList
};

// An ordered list of tasks; a task is in at most one list at a time. It does not own its tasks,
// except that deleting the list deletes the tasks still in it.
class CDownloadfileList : public CLumoObject {
public:
    CDownloadfileList() = default;
    ~CDownloadfileList() override;
    CDownloadfileList(const CDownloadfileList&) = delete;
    CDownloadfileList& operator=(const CDownloadfileList&) = delete;

    // -1 for a null task or one that is already in a list.
    int AddTail(CLumoDownload* task);
    // The first task, taken off the list; null when the list is empty.
    CLumoDownload* RemoveHead();
    // -1 when the task is not in this list.
    int Remove(CLumoDownload* task);
    bool Contains(const CLumoDownload* task) const { return task && task->m_ownerList == this; }
    int GetCount() const { return static_cast<int>(m_items.GetCount()); }
    CLumoDownload* GetAt(int i) const;

private:
    // In blocks of 16 nodes; the destructor deletes the tasks still in it, the nodes own nothing.
    CLumoListP<CLumoDownload> m_items{16, false, CLumoListP<CLumoDownload>::FREE_NONE, "CLumoDownload"};
};

class CDownloadManager : public CLumoObject {
public:
    // The process's queue, made on first use and never deleted.
    static CDownloadManager* Instance();

    CDownloadManager();
    // Stops everything (StopAll) and deletes every task.
    ~CDownloadManager() override;
    CDownloadManager(const CDownloadManager&) = delete;
    CDownloadManager& operator=(const CDownloadManager&) = delete;

    // Queues a clip of clip's range into folder (format 0 DAV, 1 AVI) and starts it when no other
    // runs. observer (may be null) is attached to the task's result signal before the task can
    // start, so that it sees every result, a failed start included. *task receives the task,
    // which stays valid while the manager lives. 0, or -4 for a null task pointer.
    int AddTask(CLumoDownload** task, const CLumoFile* clip, const CLumoString& folder, int format,
                ILumoCallback* observer = nullptr, LumoSignalMember member = &ILumoCallback::OnSignal);
    // -27 when a task runs already; -9 when none waits (or the queue is being stopped); else the
    // started task's Start.
    int StartNextTask();
    // Retires a task whose result was reported and starts the next; -4 for a null sender.
    int OnTaskDone(CLumoObject* sender, unsigned code, void* sourcePath, void* outputPath);
    // Attach or detach an observer on a task's result signal; -1 for a null task.
    int AttachResult(CLumoDownload* task, ILumoCallback* observer, LumoSignalMember member = &ILumoCallback::OnSignal);
    int DetachResult(CLumoDownload* task, ILumoCallback* observer, LumoSignalMember member = &ILumoCallback::OnSignal);
    // At exit (GUI thread, never from an observer): drops the waiting tasks, stops the running
    // one and waits for every task thread. A stopped clip leaves no file. The queue accepts clips
    // again afterwards.
    void StopAll();

    int GetWaitingCount() const;
    int GetRunningCount() const;
    // The most tasks that were ever running at once.
    int GetPeakRunning() const;

private:
    static int OnDoneSignal(CLumoObject* owner, int code, void* sender, void* p1, void* p2);
    // Retired tasks whose thread has ended are joined (GUI thread).
    void ReapRetired();

    mutable CLumoMutex m_lock;      // guards the three lists, m_peakRunning and m_stopping
    CDownloadfileList m_waiting;    // added, not started
    CDownloadfileList m_running;    // started, not retired
    CDownloadfileList m_retired;    // ended, kept while the manager lives (observers hold them)
    uint32_t m_runningLimit = 1;
    int m_peakRunning = 0;
    bool m_stopping = false;
    ILumoCallback m_doneCallback;  // attached to a running task's done signal
};
