#include "engineaccess.h"

#include <QMutex>
#include <QMutexLocker>
#include <QObject>

#include "LumoSRecord/LumoSRecord.h"

namespace EngineAccess {
namespace {

QMutex g_mutex;
Calls g_calls = EngineCalls();  // guarded by g_mutex

}  // namespace

Calls EngineCalls() {
    Calls c;
    c.diskInfo = &LumoSRGetDiskInfo;
    c.chanInfo = &LumoSRGetChanInfo;
    c.cuidInfo = &LumoSRGetCUIDInfo;
    c.blockInfo = &LumoSRGetBlockInfo;
    c.formatDisk = &LumoSRFormatDisk;
    c.lastError = &LumoSRGetLastError;
    c.configProblems = &LumoSRGetConfigProblems;
    return c;
}

Calls Current() {
    QMutexLocker lock(&g_mutex);
    return g_calls;
}

void SetCalls(const Calls& calls) {
    QMutexLocker lock(&g_mutex);
    g_calls = calls;
}

Failure LastFailure() {
    Failure f;
    int reason = LUMOSR_REASON_NONE;
    CLumoString detail;
    if (const auto call = Current().lastError) call(&reason, &detail);
    f.reason = reason;
    f.detail = QString::fromUtf8(detail.GetBuffer());
    return f;
}

QStringList ConfigProblems() {
    CLumoString text;
    const auto call = Current().configProblems;
    if (!call || call(&text) <= 0) return {};
    return QString::fromUtf8(text.GetBuffer()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

int FormatDisk(qint64 diskId, int timeoutMs, Failure* why, const char* url) {
    const Calls calls = Current();
    IKestoDiskFormat* request = IKestoDiskFormat::CreateObject();
    request->SetID(diskId);
    request->SetAccess(0);
    IVantelData* out = nullptr;
    const int rc = calls.formatDisk ? calls.formatDisk(url, request, &out, timeoutMs) : LUMOSR_ERR_FAIL;
    // The reason belongs to this thread's last call: ask before anything else calls the engine.
    if (rc != 0 && why) *why = LastFailure();
    request->Release();
    if (out) out->Release();
    return rc;
}

QString ReasonText(const Failure& why) {
    switch (why.reason) {
        case LUMOSR_REASON_FOREIGN_FILES:
            return QObject::tr("K7925_ReasonForeignFiles").arg(why.detail);
        case LUMOSR_REASON_NOT_REMOVABLE:
            return QObject::tr("K7926_ReasonNotRemovable").arg(why.detail);
        case LUMOSR_REASON_DISK_BUSY:
            return QObject::tr("K7927_ReasonDiskBusy").arg(why.detail);
        case LUMOSR_REASON_NO_FOLDER:
            return QObject::tr("K7928_ReasonNoFolder").arg(why.detail);
        case LUMOSR_REASON_IO:
            return QObject::tr("K7929_ReasonIO").arg(why.detail);
        case LUMOSR_REASON_NO_DISK:
            return QObject::tr("K7930_ReasonNoDisk").arg(why.detail);
        case LUMOSR_REASON_ACCESS_DENIED:
            return QObject::tr("K7950_ReasonAccessDenied").arg(why.detail);
        case LUMOSR_REASON_UNREACHABLE:
            return QObject::tr("K7951_ReasonUnreachable").arg(why.detail);
        default:
            return QString();
    }
}

QString FormatFailureText(qint64 diskId, const Failure& why) {
    const QString reason = ReasonText(why);
    if (reason.isEmpty()) return QObject::tr("K4784_DiskFormatFail").arg(diskId);
    return QObject::tr("K7924_DiskFormatFailReason").arg(QString::number(diskId), reason);
}

QString FailureText(const QString& what, const Failure& why) {
    const QString reason = ReasonText(why);
    return reason.isEmpty() ? what : what + QLatin1Char('\n') + reason;
}

}  // namespace EngineAccess
