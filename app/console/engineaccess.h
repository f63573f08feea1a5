// The console's calls of the recording engine that answer slowly or say why something failed:
// the disk, channel, camera and block queries, the disk format, the reason of a failed call and
// the settings problems. They go through one table so that tests can put fakes in their place; the
// texts that explain a failure to the operator are made here too.
#pragma once

#include <QString>
#include <cstdint>
#include <QStringList>

#include "LumoBase/LumoBase.h"
#include "VantelCore/VantelCore.h"

class IKestoDiskFormat;

namespace EngineAccess {

struct Calls {
    int (*diskInfo)(const char* url, int reserved, IVantelList** out, int timeoutMs) = nullptr;
    int (*chanInfo)(const char* url, int reserved, IVantelList** out, int timeoutMs) = nullptr;
    int (*cuidInfo)(const char* url, int reserved, IVantelList** out, int timeoutMs) = nullptr;
    int (*blockInfo)(const char* url, int64_t diskId, int reserved, IVantelList** list,
                     int timeoutMs) = nullptr;
    int (*formatDisk)(const char* url, IKestoDiskFormat* request, IVantelData** out, int timeoutMs) = nullptr;
    // The reason and detail of the calling thread's last failed call.
    int (*lastError)(int* reason, CLumoString* detail) = nullptr;
    // The settings problems, one line each, joined by '\n'; their number.
    int (*configProblems)(CLumoString* text) = nullptr;
};

// The engine's own calls.
Calls EngineCalls();
// The calls in use (from any thread), and their replacement (tests, while no worker runs).
Calls Current();
void SetCalls(const Calls& calls);

// Why the calling thread's last engine call failed.
struct Failure {
    int reason = 0;  // LUMOSR_REASON_*
    QString detail;  // UTF-8 from the engine
};
Failure LastFailure();

// The settings problems of the engine's last read of its settings, one line each.
QStringList ConfigProblems();

// Formats the disk with the settings' own number N of [diskN] of the recorder at `url` (null: the
// engine in this process); the engine's result, with *why filled on failure (on the calling
// thread, right after the call).
int FormatDisk(qint64 diskId, int timeoutMs, Failure* why, const char* url = nullptr);

// The operator's sentence for a failed format of that disk: the reason in words, with its
// detail; the plain "could not be formatted" when the engine gave no reason.
QString FormatFailureText(qint64 diskId, const Failure& why);
// The reason alone, in words ("" for none).
QString ReasonText(const Failure& why);
// A failed request's sentence: what failed, and on a line of its own the reason in words when
// the engine gave one.
QString FailureText(const QString& what, const Failure& why);

}  // namespace EngineAccess
