// The jobs that the recording console hands to its busy-indicator workers. The starting slot
// fills the request part on the GUI thread; the worker only queries and writes the result part;
// the finishing slot reads the result on the GUI thread and deletes the job. A worker never
// touches a widget, a model or a list that a model shows.
#pragma once

#include <QByteArray>
#include <QVector>

#include "LumoBase/LumoBase.h"
#include "VantelCore/VantelCore.h"

struct KestoBlockJob {
    qint64 diskId = -1;             // request: the engine's disk number
    IVantelList* blocks = nullptr;  // result: a fresh list, handed to the block model
    int rc = 0;                     // result: the engine's answer
    ~KestoBlockJob() {
        if (blocks) blocks->Release();
    }
};

struct KestoFormatJob {
    QVector<qint64> diskIds;  // request: engine disk numbers, formatted in this order
    QVector<int> results;     // result: the engine's answer for each disk
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
