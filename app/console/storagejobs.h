// The jobs that the storage pages hand to their workers (under the busy indicator, or in the
// background for the refreshes). The starting slot fills the request part on the GUI thread; the
// worker only queries and writes the result part; the finishing slot reads the result on the GUI
// thread (after the worker has ended) and deletes the job. A worker never touches a widget, a
// model or a list that a model shows. Every request names its recorder by URL; an empty URL is
// the engine in this process.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <QVector>

#include "LumoBase/LumoBase.h"
#include "LumoFS/LumoFS.h"
#include "VantelCore/VantelCore.h"
#include "engineaccess.h"

struct StorageBlockJob {
    QByteArray url;                 // request: the recorder
    qint64 diskId = -1;             // request: the engine's disk number
    IVantelList* blocks = nullptr;  // result: a fresh list, handed to the block model
    int rc = 0;                     // result: the engine's answer
    EngineAccess::Failure why;      // result: why the read failed
    ~StorageBlockJob() {
        if (blocks) blocks->Release();
    }
};

struct StorageFormatJob {
    QByteArray url;                           // request: the recorder
    QVector<qint64> diskIds;                  // request: engine disk numbers, formatted in this order
    QVector<int> results;                     // result: the engine's answer for each disk
    QVector<EngineAccess::Failure> failures;  // result: why each disk failed (reason 0 after success)
};

// The refreshes of the disk tables.
struct StorageDiskQuery {
    QByteArray url;
    IVantelList* disks = nullptr;  // result: fresh rows (null when the read failed)
    int rc = 0;
    EngineAccess::Failure why;
    ~StorageDiskQuery() {
        if (disks) disks->Release();
    }
};

// The refreshes of the channel table and of the camera identities.
struct StorageChannelQuery {
    QByteArray url;
    IVantelList* channels = nullptr;  // result: fresh rows (null when the read failed)
    int chnRc = 0;
    EngineAccess::Failure chnWhy;
    IVantelList* cuids = nullptr;  // result: the camera identities (null when the read failed)
    int cuidRc = 0;
    EngineAccess::Failure cuidWhy;
    ~StorageChannelQuery() {
        if (channels) channels->Release();
        if (cuids) cuids->Release();
    }
};

// The recording console's reading of the engine's settings problems at start.
struct KestoProblemsQuery {
    QStringList lines;  // result: the engine's settings problems
};

struct StorageSearchJob {
    // Request: the recorder and the criteria read from the search form.
    QByteArray url;
    CLumoTime start, end;
    int stream = 0;
    QByteArray cuid;  // UTF-8; empty: every camera
    // Result.
    IVantelList* files = nullptr;  // a fresh list of record-file rows (null: none found)
    int rc = 0;                    // the search could not be run (not 0), with its reason
    EngineAccess::Failure why;
    int nextRc = 0;  // the search stopped early with this answer: the rows may be incomplete
    ~StorageSearchJob() {
        if (files) files->Release();
    }
};

// The workers' share of the jobs, run off the GUI thread. Each reads the reason of its failure
// right after the failed call. The blocks of job->diskId into a fresh list: 0, or -1.
int RunBlockJob(StorageBlockJob* job, int timeoutMs);
// Formats the job's disks in order, the first `count` only when count is 0 or more: 0 when every
// format worked, else -1 (each disk's result and reason in the job).
int RunFormatJob(StorageFormatJob* job, int count, int timeoutMs);
// The disks, and the channels with the camera identities.
void RunDiskQuery(StorageDiskQuery* job, int timeoutMs);
void RunChannelQuery(StorageChannelQuery* job, int timeoutMs);
// The search criteria of a job as the engine's search takes them (every channel of the stream).
void FillSearchParam(const StorageSearchJob& job, ILumoFSSearchParam* param);
