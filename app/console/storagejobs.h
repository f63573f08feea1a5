// The jobs that the recording console hands to its workers (under the busy indicator, or in the
// background for the refreshes). The starting slot fills the request part on the GUI thread; the
// worker only queries and writes the result part; the finishing slot reads the result on the GUI
// thread (after the worker has ended) and deletes the job. A worker never touches a widget, a
// model or a list that a model shows.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <QVector>

#include "LumoBase/LumoBase.h"
#include "VantelCore/VantelCore.h"
#include "engineaccess.h"

struct KestoBlockJob {
    QByteArray url;                 // request: the recorder (empty: the engine in this process)
    qint64 diskId = -1;             // request: the engine's disk number
    IVantelList* blocks = nullptr;  // result: a fresh list, handed to the block model
    int rc = 0;                     // result: the engine's answer
    EngineAccess::Failure why;      // result: why the read failed (a recorder's reason)
    ~KestoBlockJob() {
        if (blocks) blocks->Release();
    }
};

struct KestoFormatJob {
    QByteArray url;                           // request: the recorder (empty: the engine in this process)
    QVector<qint64> diskIds;                  // request: engine disk numbers, formatted in this order
    QVector<int> results;                     // result: the engine's answer for each disk
    QVector<EngineAccess::Failure> failures;  // result: why each disk failed (reason 0 after success)
};

// The 15-second refreshes and the start's reading of settings problems.
struct KestoDiskQuery {
    IVantelList* disks = nullptr;  // result: fresh rows (null when the query failed)
    int rc = 0;
    ~KestoDiskQuery() {
        if (disks) disks->Release();
    }
};

struct KestoChannelQuery {
    IVantelList* channels = nullptr;  // result: fresh rows (null when the query failed)
    int chnRc = 0;
    IVantelList* cuids = nullptr;  // result: the camera identities (null when the query failed)
    int cuidRc = 0;
    ~KestoChannelQuery() {
        if (channels) channels->Release();
        if (cuids) cuids->Release();
    }
};

struct KestoProblemsQuery {
    QStringList lines;  // result: the engine's settings problems
};

struct KestoSearchJob {
    // Request: the criteria read from the search form.
    CLumoTime start, end;
    int stream = 0;
    QByteArray cuid;  // UTF-8; empty: every camera
    // Result.
    IVantelList* files = nullptr;  // a fresh list of record-file rows
    int createRc = 0;              // LumoMediaSearchCreate
    int nextRc = 0;                // the LumoMediaSearchNext answer that ended the loop
    ~KestoSearchJob() {
        if (files) files->Release();
    }
};

// The record-server page's jobs: the same, with the recorder's URL in the request and the
// recorder's reason of a failure in the result.
struct PageDiskQuery {
    QByteArray url;
    IVantelList* disks = nullptr;  // null when the read failed
    int rc = 0;
    EngineAccess::Failure why;
    ~PageDiskQuery() {
        if (disks) disks->Release();
    }
};

struct PageChannelQuery {
    QByteArray url;
    IVantelList* channels = nullptr;
    int chnRc = 0;
    EngineAccess::Failure chnWhy;
    IVantelList* cuids = nullptr;
    int cuidRc = 0;
    EngineAccess::Failure cuidWhy;
    ~PageChannelQuery() {
        if (channels) channels->Release();
        if (cuids) cuids->Release();
    }
};

// A search of the record-server page: the criteria read on the GUI thread, the recorder's answer.
struct PageSearchJob {
    QByteArray url;
    CLumoTime start, end;
    int stream = 0;
    QByteArray cuid;  // UTF-8; empty: every camera
    IVantelList* files = nullptr;
    int rc = 0;
    EngineAccess::Failure why;
    ~PageSearchJob() {
        if (files) files->Release();
    }
};

// The workers' share of the jobs, run off the GUI thread. The blocks of job->diskId into a fresh
// list (its failure's reason kept): 0, or -1.
int RunBlockJob(KestoBlockJob* job, int timeoutMs);
// Formats the job's disks in order, the first `count` only when count is 0 or more: 0 when every
// format worked, else -1 (each disk's result and reason in the job).
int RunFormatJob(KestoFormatJob* job, int count, int timeoutMs);
