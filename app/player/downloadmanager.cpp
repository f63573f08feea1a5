#include "player/downloadmanager.h"

#include <QDebug>

#include <algorithm>

#include "LumoBase/LumoResult.h"
#include "LumoCore/LumoCore.h"
#include "LumoFS/LumoFS.h"
#include "LumoFS/LumoRecordAddress.h"
#include "player/playfile.h"

namespace {

std::atomic<int> g_pollMs{1000};
constexpr int kSleepSliceMs = 20;  // a stop request is seen within this

}  // namespace

// ---------------------------------------------------------------------------------------------

CLumoDownload::CLumoDownload(const CLumoFile& clip, const CLumoString& folder, int format)
    : m_sourceUrl(clip.url),
      m_sourcePath(clip.path),
      m_startTime(clip.timeS),
      m_endTime(clip.timeE),
      m_size(clip.length),
      m_folder(folder.Str()),
      m_format(format) {}

CLumoDownload::~CLumoDownload() {
    Stop();
}

void CLumoDownload::SetPollIntervalMs(int ms) {
    g_pollMs = std::max(1, ms);
}

int CLumoDownload::ResultOf(int engineError) {
    if (engineError == LUMO_OK) return RESULT_DONE;
    if (engineError == LUMO_ERR_DISKFULL) return RESULT_DISK_FULL;
    return RESULT_FAILED;
}

std::string CLumoDownload::BuildSource() const {
    LumoRecordAddress a;
    if (!LumoRecordAddress::Parse(m_sourceUrl, &a)) return m_sourceUrl;  // the engine reports it
    CLumoString from;
    m_startTime.BuildISO8601(from);
    const int64_t seconds = m_endTime - m_startTime;
    a.Set("from", from.Str());
    a.Set("len", std::to_string(static_cast<unsigned long long>(std::max<int64_t>(0, seconds))));
    return a.Build();
}

std::string CLumoDownload::BuildTarget() const {
    return LumoRecordAddress::WriteFolder("rec", m_format == 1 ? "avi" : "dav", m_folder).Build();
}

std::string CLumoDownload::GetOutputPath() const {
    CLumoGuard guard(m_lock);
    return m_outputPath;
}

int CLumoDownload::Start() {
    {
        CLumoGuard guard(m_lock);
        if (m_runState.load() != STATE_NEW) return LUMO_ERR_STATE;
        m_runState = STATE_STARTED;
    }
    qDebug() << "Start::download start";
    CLumoFileDescList list(1);
    auto* desc = new CLumoFileDesc();
    desc->SetURI(BuildSource().c_str());
    // The descriptor carries no times: the engine measures the file itself, and the clip's range
    // travels in the address.
    desc->SetSize(m_size);
    list.Append(desc);

    void* download = nullptr;
    CLumoString name;
    // The engine creates the clip folder (with its parents) before it writes.
    int r = LumoDownloadOpenFile(&download, BuildTarget().c_str(), &list);
    if (r == LUMO_OK) r = LumoDownloadGetFileName(download, &name);
    if (r == LUMO_OK) {
        CLumoGuard guard(m_lock);
        if (m_runState.load() == STATE_STOPPED) {
            r = LUMO_ERR_STATE;  // stopped while it was being opened
        } else {
            r = LumoDownloadStart(download);
            if (r == LUMO_OK) {
                m_download = download;
                m_outputPath = name.Str();
                qDebug() << "Start::ThreadStart";
                r = m_thread.Start([this](CLumoThread& self) { QryProgress(self); });
                if (r != LUMO_OK) m_download = nullptr;
            }
        }
    }
    if (r != LUMO_OK) {
        LumoDownloadStop(download);
        LumoDownloadClose(download);
        m_runState = STATE_STOPPED;
        // No thread polls a download that never started; the failure is reported here, to the
        // observers attached before the task was queued.
        qDebug() << "Start::download failed" << r;
        Report(RESULT_FAILED, nullptr);
    }
    return r;
}

void CLumoDownload::Stop() {
    {
        CLumoGuard guard(m_lock);
        m_runState = STATE_STOPPED;
        if (m_download) LumoDownloadStop(m_download);  // aborts the copy; the part file goes
    }
    {
        std::lock_guard<std::mutex> join(m_joinLock);
        m_thread.Stop();  // joins
    }
    CLumoGuard guard(m_lock);
    if (m_download) {
        LumoDownloadClose(m_download);
        m_download = nullptr;
    }
}

void CLumoDownload::Finish() {
    CLumoGuard guard(m_lock);
    if (m_download) {
        qDebug() << "Stop::ThreadStop";
        LumoDownloadStop(m_download);
        LumoDownloadClose(m_download);
        m_download = nullptr;
        qDebug() << "Stop::download stop";
    }
    m_runState = STATE_STOPPED;
}

void CLumoDownload::Join() {
    std::lock_guard<std::mutex> join(m_joinLock);
    m_thread.Stop();
}

void CLumoDownload::Reap() {
    std::lock_guard<std::mutex> join(m_joinLock);
    if (!m_thread.IsRunning()) m_thread.Stop();
}

void CLumoDownload::Report(int code, const char* outputPath) {
    void* sender = static_cast<CLumoObject*>(this);
    void* source = m_sourcePath.empty() ? nullptr : const_cast<char*>(m_sourcePath.c_str());
    void* output = const_cast<char*>(outputPath);
    m_resultSignal.Commit(sender, code, source, output);
    m_doneSignal.Commit(sender, code, source, output);
}

void CLumoDownload::QryProgress(CLumoThread& self) {
    qDebug() << "download qry progress start...";
    const auto stopping = [this, &self] { return self.IsStopping() || m_runState.load() == STATE_STOPPED; };
    while (!stopping()) {
        int state = 0, error = 0, progress = 0;
        int r;
        {
            CLumoGuard guard(m_lock);
            r = m_download ? LumoDownloadGetProgress(m_download, &state, &error, &progress) : LUMO_ERR_PARAM;
        }
        if (stopping()) break;
        if (r != LUMO_OK) {
            Report(RESULT_FAILED, GetOutputPath().c_str());
            break;
        }
        m_lastState = state;
        m_lastError = error;
        m_lastProgress = progress;
        if (state & LUMO_DOWNLOAD_FINISHED) {
            // The end counts on its second sighting, consecutive or not.
            if (++m_endCount >= 2) {
                const int result = ResultOf(error);
                qDebug() << "QryProgress:: download stop, result =" << result;
                m_endCount = 0;
                // Whatever the result, the observers learn which clip file it concerns.
                Report(result, GetOutputPath().c_str());
                break;
            }
        }
        for (int waited = 0; waited < g_pollMs.load() && !stopping(); waited += kSleepSliceMs)
            LumoSleepMS(std::min(kSleepSliceMs, g_pollMs.load() - waited));
    }
    qDebug() << "download qry progress end...";
}

// ---------------------------------------------------------------------------------------------

CDownloadfileList::~CDownloadfileList() {
    while (auto* head = m_items.GetHeadNode()) {
        CLumoDownload* task = head->item;
        m_items.Unlink(head);
        task->m_ownerList = nullptr;
        task->m_ownerNode = nullptr;
        delete task;
    }
}

int CDownloadfileList::AddTail(CLumoDownload* task) {
    if (!task || task->m_ownerList) return -1;
    auto* node = m_items.AddTail(task);
    if (!node) return -1;
    task->m_ownerList = this;
    task->m_ownerNode = node;
    return 0;
}

CLumoDownload* CDownloadfileList::RemoveHead() {
    auto* head = m_items.GetHeadNode();
    if (!head) return nullptr;
    CLumoDownload* task = head->item;
    m_items.Unlink(head);
    task->m_ownerList = nullptr;
    task->m_ownerNode = nullptr;
    return task;
}

int CDownloadfileList::Remove(CLumoDownload* task) {
    if (!Contains(task)) return -1;
    m_items.Unlink(task->m_ownerNode);
    task->m_ownerList = nullptr;
    task->m_ownerNode = nullptr;
    return 0;
}

CLumoDownload* CDownloadfileList::GetAt(int i) const {
    if (i < 0) return nullptr;
    auto* node = m_items.NodeAt(uint32_t(i));
    return node ? node->item : nullptr;
}

// ---------------------------------------------------------------------------------------------

CDownloadManager* CDownloadManager::Instance() {
    static CDownloadManager* instance = new CDownloadManager();
    return instance;
}

CDownloadManager::CDownloadManager() : m_doneCallback(this, &CDownloadManager::OnDoneSignal) {}

CDownloadManager::~CDownloadManager() {
    StopAll();
}

int CDownloadManager::OnDoneSignal(CLumoObject* owner, int code, void* sender, void* p1, void* p2) {
    return static_cast<CDownloadManager*>(owner)->OnTaskDone(static_cast<CLumoObject*>(sender), unsigned(code), p1,
                                                             p2);
}

int CDownloadManager::AddTask(CLumoDownload** task, const CLumoFile* clip, const CLumoString& folder, int format,
                              ILumoCallback* observer, LumoSignalMember member) {
    if (!task || !clip) return LUMO_ERR_PARAM;
    auto* t = new CLumoDownload(*clip, folder, format);
    if (observer) t->ResultSignal().Attach(observer, member);
    // Attached here, under no lock: the done signal's commit takes the queue's lock, so the queue
    // never touches a signal while it holds its own.
    t->DoneSignal().Attach(&m_doneCallback, &ILumoCallback::OnSignal);
    {
        CLumoGuard guard(m_lock);
        m_waiting.AddTail(t);
    }
    *task = t;
    ReapRetired();
    StartNextTask();
    return 0;
}

int CDownloadManager::StartNextTask() {
    qDebug() << "StartNextTask";
    CLumoDownload* task = nullptr;
    {
        // The limit test and the move to the running list are one step: two threads that start
        // the next task at once cannot both pass the test.
        CLumoGuard guard(m_lock);
        if (m_stopping) return LUMO_ERR_BADPARAM;
        if (uint32_t(m_running.GetCount()) >= m_runningLimit) return -27;
        task = m_waiting.RemoveHead();
        if (!task) return LUMO_ERR_BADPARAM;
        m_running.AddTail(task);
        m_peakRunning = std::max(m_peakRunning, m_running.GetCount());
    }
    return task->Start();
}

int CDownloadManager::OnTaskDone(CLumoObject* sender, unsigned, void*, void*) {
    qDebug() << "OnTaskDone";
    auto* task = dynamic_cast<CLumoDownload*>(sender);
    if (!task) return LUMO_ERR_PARAM;
    task->Finish();
    task->DoneSignal().Detach(&m_doneCallback, &ILumoCallback::OnSignal);
    {
        CLumoGuard guard(m_lock);
        if (m_running.Remove(task) == 0) m_retired.AddTail(task);
    }
    StartNextTask();
    return 0;
}

int CDownloadManager::AttachResult(CLumoDownload* task, ILumoCallback* observer, LumoSignalMember member) {
    if (!task) return -1;
    return task->ResultSignal().Attach(observer, member);
}

int CDownloadManager::DetachResult(CLumoDownload* task, ILumoCallback* observer, LumoSignalMember member) {
    if (!task) return -1;
    return task->ResultSignal().Detach(observer, member);
}

void CDownloadManager::StopAll() {
    std::vector<CLumoDownload*> stop;
    {
        CLumoGuard guard(m_lock);
        m_stopping = true;
        while (CLumoDownload* t = m_waiting.RemoveHead()) {
            stop.push_back(t);
            m_retired.AddTail(t);
        }
        for (int i = 0; i < m_running.GetCount(); ++i) stop.push_back(m_running.GetAt(i));
    }
    // Without the lock: a task that reports while it is stopped retires itself through it.
    for (CLumoDownload* t : stop) t->Stop();
    // A retired task's thread may still be on its way out, even starting the next task; once it
    // has ended nothing runs any more. Joined before the queue accepts starts again.
    std::vector<CLumoDownload*> retired;
    {
        CLumoGuard guard(m_lock);
        for (int i = 0; i < m_retired.GetCount(); ++i) retired.push_back(m_retired.GetAt(i));
    }
    for (CLumoDownload* t : retired) t->Join();
    for (CLumoDownload* t : stop) t->DoneSignal().Detach(&m_doneCallback, &ILumoCallback::OnSignal);
    {
        CLumoGuard guard(m_lock);
        for (CLumoDownload* t : stop) {
            if (m_running.Remove(t) == 0) m_retired.AddTail(t);
        }
        m_stopping = false;
    }
    ReapRetired();
}

void CDownloadManager::ReapRetired() {
    std::vector<CLumoDownload*> retired;
    {
        CLumoGuard guard(m_lock);
        for (int i = 0; i < m_retired.GetCount(); ++i) retired.push_back(m_retired.GetAt(i));
    }
    for (CLumoDownload* t : retired) t->Reap();
}

int CDownloadManager::GetWaitingCount() const {
    CLumoGuard guard(m_lock);
    return m_waiting.GetCount();
}

int CDownloadManager::GetRunningCount() const {
    CLumoGuard guard(m_lock);
    return m_running.GetCount();
}

int CDownloadManager::GetPeakRunning() const {
    CLumoGuard guard(m_lock);
    return m_peakRunning;
}
