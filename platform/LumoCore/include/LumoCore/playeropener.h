// Opening a player off the caller's thread. Opening a list opens its head file (up to the open
// timeout) and probes the files that lack times: a GUI thread hands that to a worker and hears
// the result later, on its own thread, through a callback.
#pragma once

#include <functional>
#include <memory>

#include "LumoFS/LumoFS.h"

class QObject;

namespace lumocore {

struct PlayerOpenJob;

// One open at a time: a newer Open gives up the one under way. The opener and its context object
// belong to one thread (the caller's); the opener must not outlive the context (make it a member
// of the context's class, or of an object the context owns).
//
// While an open runs, its player belongs to the opener: it is opened but never started there. An
// open given up (Cancel, a newer Open, the opener's end, the context's end) never reaches the
// callback, and its player is stopped and closed, by the worker when it is done with it or at
// once when it already was. Once `done` runs, the player is the caller's, whatever the result.
class PlayerOpener {
public:
    // On the context's thread: the player and LumoPlayerOpenFile's result.
    using Done = std::function<void(void* player, int result)>;

    explicit PlayerOpener(QObject* context);
    ~PlayerOpener();
    PlayerOpener(const PlayerOpener&) = delete;
    PlayerOpener& operator=(const PlayerOpener&) = delete;

    // Opens `files` (copied) on `player` on a worker; `done` follows on the context's thread.
    // A null player or an empty list is answered there too, with LUMO_ERR_PARAM.
    void Open(void* player, const CLumoFileDescList& files, Done done);
    // Gives up the open under way, if any.
    void Cancel();
    // An open was given and is neither answered nor given up.
    bool Pending() const { return m_job != nullptr; }

    // Opens whose worker has not finished yet, over all openers (tests wait on it).
    static int Running();

private:
    QObject* m_context;
    std::shared_ptr<PlayerOpenJob> m_job;  // context's thread: the open under way (null: none)
};

}  // namespace lumocore
