#include "lumoc/playback/downloadrecmanager.h"

#include <QDate>
#include <QDir>
#include <QTime>

#include "LumoCClient/LumoCClient.h"
#include "LumoCore/LumoCore.h"
#include "VantelCore/VantelCore.h"
#include "VantelCore/urlmask.h"

namespace {

const char kDefaultRule[] = "GUID-CHN-STREAM-YYYYMMDD-HHMMSS";

bool IsEmptyName(const char* name) {
    return !name || !*name;
}

}  // namespace

DownloadRecManager* DownloadRecManager::Instance() {
    static DownloadRecManager* manager = new DownloadRecManager();
    return manager;
}

DownloadRecManager::DownloadRecManager() = default;

DownloadRecManager::~DownloadRecManager() {
    for (auto& group : m_groups)
        for (auto& sub : group.second) {
            for (DownloadRecTask* task : sub.second) {
                EndDownload(task);
                delete task;
            }
            sub.second.clear();
        }
}

DownloadRecTaskList* DownloadRecManager::List() {
    auto g = m_groups.find(1);
    if (g == m_groups.end()) return nullptr;
    auto s = g->second.find(1);
    return s == g->second.end() ? nullptr : &s->second;
}

DownloadRecTaskList* DownloadRecManager::GetTaskList() {
    DownloadRecTaskList* list = List();
    return list && !list->isEmpty() ? list : nullptr;
}

DownloadRecTask* DownloadRecManager::Find(const char* name) {
    DownloadRecTaskList* list = List();
    if (!list || !name) return nullptr;
    for (DownloadRecTask* t : *list)
        if (t && t->name == name) return t;
    return nullptr;
}

DownloadRecTask* DownloadRecManager::FindTask(int, int, const char* name) {
    return Find(name);
}

// ---------------------------------------------------------------------------------------------
// Names.

QString DownloadRecManager::LengthSuffix(int64_t ms) {
    const int64_t s = ms / 1000;
    if (s < 0) return QString();
    if (s == 0) return QStringLiteral("1S");
    QString out;
    int64_t rest = s;
    if (rest >= 3600) {
        out += QString::number(rest / 3600) + 'H';
        rest %= 3600;
    }
    if (rest >= 60) {
        out += QString::number(rest / 60) + 'M';
        rest %= 60;
    }
    if (rest > 0) out += QString::number(rest) + 'S';
    return out;
}

QString DownloadRecManager::FormatExtension(int format) {
    switch (format) {
        case FormatMp4:
            return QStringLiteral("mp4");
        case FormatDav:
            return QStringLiteral("dav");
        case FormatAvi:
            return QStringLiteral("avi");
        case FormatJpg:
            return QStringLiteral("jpg");
        default:
            return QString();
    }
}

QString DownloadRecManager::SafeNamePart(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (c == '/' || c == '\\' || c.unicode() < 32 || c.unicode() == 127) c = '_';
    // A name, never a way out of the folder (or a hidden file).
    out.replace(QStringLiteral(".."), QStringLiteral("_"));
    while (out.startsWith('.')) out[0] = '_';
    return out;
}

QString DownloadRecManager::NumberedName(const QString& name, int n) {
    const int dot = name.lastIndexOf('.');
    const QString number = QStringLiteral("(%1)").arg(n);
    if (dot <= 0) return name + number;
    return name.left(dot) + number + name.mid(dot);
}

void DownloadRecManager::MakeSaveFileName(CLumoFileDescList* list, IVantelDataDEV* dev, int format) {
    if (!list || list->IsEmpty() || !dev) return;
    const CLumoFileDesc* first = list->GetHead();
    const CLumoFileDesc* last = list->GetTail();
    QString rule = LumoCConfiguration::GetLumoCConfig()->GetFileOption()->recordRule;
    if (rule.isEmpty()) rule = QString::fromLatin1(kDefaultRule);

    const CLumoTime& start = first->GetTimeS();
    const QDate day(start.GetYear(), start.GetMonth(), start.GetDay());
    const QTime clock(start.GetHour(), start.GetMinute(), start.GetSecond());
    // Every token is replaced in one pass, so a value that happens to hold a token's text (a GUID
    // "CHN1") stays as it is.
    const std::pair<QString, QString> tokens[] = {
        {QStringLiteral("GUID"), SafeNamePart(QString::fromUtf8(dev->GetGUID()).replace(':', '-'))},
        {QStringLiteral("CHN"), QString::number(first->GetChannel() + 1)},
        {QStringLiteral("STREAM"), QString::number(first->GetStreamType() + 1)},
        {QStringLiteral("YYYYMMDD"), day.toString(QStringLiteral("yyyyMMdd"))},
        {QStringLiteral("HHMMSS"), clock.toString(QStringLiteral("hhmmss"))},
    };
    QString name;
    for (int i = 0; i < rule.size();) {
        bool replaced = false;
        for (const auto& t : tokens) {
            if (rule.midRef(i, t.first.size()) == t.first) {
                name += t.second;
                i += t.first.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) name += rule[i++];
    }
    name += '-' + LengthSuffix(CLumoTime::GetTimeSpan(last->GetTimeE(), start));
    name += '.' + FormatExtension(format);
    list->GetHead()->SetSaveFileName(SafeNamePart(name).toUtf8().constData());
}

QString DownloadRecManager::DownloadFolder() {
    const QString base = LumoCConfiguration::GetLumoCConfig()->GetFileOption()->recordFolder;
    if (base.isEmpty()) return QDir::homePath() + QStringLiteral("/Record/Kesto");
    return base + QStringLiteral("/Kesto");
}

int DownloadRecManager::MakeTargetUrl(int format, QByteArray* url, const QString& folder) {
    if (!url) return -1;
    const QString dir = folder.isEmpty() ? DownloadFolder() : folder;
    if (!QDir().mkpath(dir)) return -1;
    QByteArray u = "filew://local/type=rec";
    const QString ext = FormatExtension(format);
    if (!ext.isEmpty()) u += "&format=" + ext.toUtf8();
    u += "&pathname=" + dir.toUtf8();
    *url = u;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Queueing.

int DownloadRecManager::AddTasks(CLumoFileDescList* list, int deviceId, int channelIndex, int format,
                                 int nameInUrl) {
    if (!list || list->IsEmpty()) return -1;
    DownloadRecTaskList& tasks = m_groups[1][1];

    auto* task = new DownloadRecTask();
    task->deviceId = deviceId;
    task->channelIndex = channelIndex;
    task->format = format;
    task->nameInUrl = nameInUrl;
    task->fileList.reset(new CLumoFileDescList(1));
    *task->fileList = *list;
    tasks.append(task);

    IVantelDataDEV* dev = IVantelDataDEV::CreateObject();
    // An unknown device still gives a name that tells the downloads apart.
    if (LumoCGetDev(nullptr, deviceId, dev) != 0) dev->SetGUID("DEV" + std::to_string(deviceId));
    MakeSaveFileName(task->fileList.get(), dev, format);
    dev->Release();

    CLumoFileDesc* head = task->fileList->GetHead();
    task->name = head->GetSaveFileName();
    task->state = DownloadRecTask::StateQueued;

    if (nameInUrl == 0) {
        int same = 0;
        for (const DownloadRecTask* t : tasks) {
            const CLumoFileDesc* h = t->fileList ? t->fileList->GetHead() : nullptr;
            if (h && qstrcmp(h->GetURI(), head->GetURI()) == 0) ++same;
        }
        // The name is the task's key: one that another task has already (another first file of
        // the same start and length) takes the next free number.
        const auto taken = [&](const QByteArray& n) {
            for (const DownloadRecTask* t : tasks)
                if (t != task && t->name == n) return true;
            return false;
        };
        const QString base = QString::fromUtf8(task->name);
        for (int n = same > 1 ? same - 1 : 0;; ++n) {
            const QByteArray candidate = n == 0 ? task->name : NumberedName(base, n).toUtf8();
            if (taken(candidate)) continue;
            task->name = candidate;
            break;
        }
        head->SetSaveFileName(task->name.constData());
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Downloads.

int DownloadRecManager::OnDownloadEvent(CLumoObject*, int, void*, void*, void*) {
    return 0;  // progress is polled
}

int DownloadRecManager::StartDown(int, int, const char* url, const char* key, const char* name) {
    DownloadRecTaskList* list = List();
    if (!url || !list || list->isEmpty()) return -1;

    DownloadRecTask* task = nullptr;
    if (IsEmptyName(name)) {
        for (DownloadRecTask* t : *list)
            if (t && t->state == DownloadRecTask::StateQueued) {
                task = t;
                break;
            }
    } else {
        task = Find(name);
    }
    if (!task) return -1;
    // Two writers of one task would share one file; a finished one has its file already.
    if (task->handle) return LUMO_ERR_STATE;
    if (task->complete) return LUMO_ERR_EXISTS;

    CLumoFileDescList files(1);
    if (task->fileList) files = *task->fileList;
    if (files.IsEmpty()) return -1;
    task->state = IsEmptyName(name) ? DownloadRecTask::StateTaken : DownloadRecTask::StateDownloading;

    QByteArray target(url);
    if (task->nameInUrl == 1) target += "&filename=" + task->name;
    task->result = 0;
    task->bytesDone = 0;
    task->percent = 0;
    task->withinSize = true;
    task->filePath.clear();

    void* handle = nullptr;
    int rc = LumoDownloadOpenFile(&handle, target.constData(), &files);
    VantelDBG_Printf_f(0x7fff, 1, "DownloadRecManager::StartDown", "Down save_path: %s",
                       VantelMaskUrl(target.constData()).c_str());
    VantelDBG_Printf_f(0x7fff, 1, "DownloadRecManager::StartDown", "Down local_path: %s",
                       VantelMaskUrl(files.GetHead()->GetURI()).c_str());
    if (rc != 0 || !handle) {
        task->state = DownloadRecTask::StateFailed;
        task->result = rc != 0 ? rc : LUMO_ERR_FAIL;
        return task->result;
    }
    CLumoString path;
    if (LumoDownloadGetFileName(handle, &path) == 0) task->filePath = QString::fromUtf8(path.GetBuffer());
    LumoDownloadAttachStream(handle, this, &DownloadRecManager::OnDownloadEvent);
    if (key) LumoDownloadSetKey(handle, key, key, key);
    rc = LumoDownloadStart(handle, 0);
    if (rc != 0) {
        LumoDownloadClose(handle);
        task->state = DownloadRecTask::StateFailed;
        task->result = rc;
        return rc;
    }
    task->handle = handle;
    return 0;
}

int DownloadRecManager::EndDownload(DownloadRecTask* task) {
    if (!task || !task->handle) return -2;
    int rc = LumoDownloadStop(task->handle);
    if (rc != 0) return rc;
    LumoDownloadDetachStream(task->handle, this, &DownloadRecManager::OnDownloadEvent);
    rc = LumoDownloadClose(task->handle);
    if (rc != 0) return rc;
    task->handle = nullptr;
    return 0;
}

int DownloadRecManager::StopTask(int, int, const char* name) {
    DownloadRecTaskList* list = List();
    if (!list || list->isEmpty()) return -1;
    DownloadRecTask* task = nullptr;
    if (IsEmptyName(name)) {
        for (DownloadRecTask* t : *list)
            if (t && t->handle) {
                task = t;
                break;
            }
        if (!task) return -2;
    } else {
        task = Find(name);
        if (!task) return -1;
    }
    if (!task->handle) return -2;

    // How the download ended decides what the task is: a stop before its end leaves no file.
    int flags = 0, result = 0;
    const bool read = LumoDownloadGetProgressEx(task->handle, &flags, &result, nullptr, nullptr) == 0;
    CLumoString path;
    if (LumoDownloadGetFileName(task->handle, &path) == 0)
        task->filePath = QString::fromUtf8(path.GetBuffer());
    const int rc = EndDownload(task);
    if (rc != 0) return rc;
    const bool finished = read && (flags & FlagFinished);
    task->complete = finished && result == 0;
    if (finished && result < 0) {
        task->result = result;
        task->state = DownloadRecTask::StateFailed;
    } else {
        task->state = DownloadRecTask::StateEnded;
    }
    return 0;
}

int DownloadRecManager::GetProgress(int, int, int* flags, unsigned* percent, unsigned* bitsPerSecond,
                                    uint64_t* bytesDone, uint64_t* totalBytes, uint64_t* secondsLeft,
                                    const char* name) {
    DownloadRecTaskList* list = List();
    if (!list || list->isEmpty()) return -1;
    DownloadRecTask* task = IsEmptyName(name) ? list->first() : Find(name);
    if (!task) return -1;
    if (!task->handle) return -2;

    int f = 0, result = 0, pct = 0;
    uint64_t bytes = 0;
    int rc = LumoDownloadGetProgressEx(task->handle, &f, &result, &pct, &bytes);
    if (rc != 0) return rc;
    unsigned rate = 0;
    rc = LumoDownloadGetBitrate(task->handle, &rate);
    if (rc != 0) return rc;

    unsigned shown = pct < 0 ? 0u : unsigned(pct);
    if (shown >= 100) shown = 99;
    // Only a download that completed shows 100: a failed one keeps where it stopped.
    if ((f & FlagFinished) && result == 0) shown = 100;
    if (percent) *percent = shown;
    if (bitsPerSecond) *bitsPerSecond = rate;
    if (flags) *flags = f;

    const uint64_t listTotal = task->fileList ? task->fileList->GetTotalSize() : 0;
    uint64_t total = listTotal;
    if (bytes > listTotal) {
        task->withinSize = false;
        task->bytesDone = bytes;
        total = bytes;
    } else if (task->withinSize) {
        task->bytesDone = bytes;
    }
    if (totalBytes) *totalBytes = total;
    if (bytesDone) *bytesDone = bytes;
    if (rate >= 8 && secondsLeft) *secondsLeft = (total - bytes) / (rate / 8);
    task->percent = int(shown);
    task->result = result;
    return result;
}

int DownloadRecManager::GetTaskFormat(int, int, const char* name) {
    DownloadRecTaskList* list = List();
    if (!list || list->isEmpty()) return -1;
    DownloadRecTask* task = IsEmptyName(name) ? list->first() : Find(name);
    return task ? task->format : -1;
}

int DownloadRecManager::RemoveTask(int, int, const char* name) {
    DownloadRecTaskList* list = List();
    DownloadRecTask* task = Find(name);
    if (!list || !task) return -1;
    // A download still open is ended first: nothing keeps writing for a task that is gone.
    EndDownload(task);
    list->removeOne(task);
    delete task;
    return 0;
}

bool DownloadRecManager::HasActiveTask() const {
    for (const auto& group : m_groups)
        for (const auto& sub : group.second)
            for (const DownloadRecTask* t : sub.second)
                if (t && t->state == DownloadRecTask::StateDownloading) return true;
    return false;
}

bool DownloadRecManager::IsDownloading(int, int) const {
    auto g = m_groups.find(1);
    if (g == m_groups.end()) return false;
    auto s = g->second.find(1);
    if (s == g->second.end()) return false;
    for (const DownloadRecTask* t : s->second)
        if (t && t->state == DownloadRecTask::StateDownloading) return true;
    return false;
}

bool DownloadRecManager::IsChannelDownloading(int64_t channelObjectId) const {
    IVantelData* row = LumoCGetVantelObject(nullptr, VANTEL_OBJ_CHANNEL_REF, channelObjectId);
    auto* chn = dynamic_cast<IVantelDataCHN*>(row);
    const bool busy = chn && IsDownloading(int(chn->GetDeviceId()), chn->GetChnIndex());
    if (row) row->Release();
    return busy;
}

void DownloadRecManager::ClearTasks() {
    DownloadRecTaskList* list = List();
    if (!list) return;
    for (DownloadRecTask* task : *list) {
        EndDownload(task);
        delete task;
    }
    list->clear();
}
