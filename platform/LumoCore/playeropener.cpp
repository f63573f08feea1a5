// Open off the caller's thread: a worker of the opener pool opens, the result is posted to the
// context object's thread. Who closes a player given up is settled under the job's lock: the
// worker when it finishes after the give-up, the giver-up when the worker had finished.
#include "LumoCore/playeropener.h"

#include <QMetaObject>
#include <QObject>
#include <QThreadPool>
#include <atomic>
#include <mutex>

#include "LumoCore/LumoCore.h"

namespace lumocore {

struct PlayerOpenJob {
    void* player = nullptr;      // fixed before the worker starts
    CLumoFileDescList files{1};  // the worker's
    std::mutex mutex;
    bool cancelled = false;  // guarded by mutex: given up; whoever sees it last with `finished` closes
    bool finished = false;   // guarded by mutex: the worker is done with the player
    bool handedOver = false; // guarded by mutex: the callback took the player (the caller owns it)
    int result = 0;          // guarded by mutex: the open's result, once finished
};

namespace {

std::atomic<int>& RunningCount() {
    static std::atomic<int> count{0};
    return count;
}

// Workers for opens alone, so that a slow source never waits behind the program's other pool
// work, nor holds it up. Never destroyed: a worker still blocked in an open at the program's end
// must not be waited for.
QThreadPool* OpenPool() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool();
        p->setMaxThreadCount(32);
        p->setExpiryTimeout(10000);
        return p;
    }();
    return pool;
}

void EndPlayer(void* player) {
    LumoPlayerStop(player);
    LumoPlayerClose(player);
}

// Gives the job up. True when the caller must close the player now (the worker had finished and
// the result was not handed over); false when the worker will, or the player is the caller's.
bool GiveUp(PlayerOpenJob& job) {
    std::lock_guard<std::mutex> lock(job.mutex);
    if (job.cancelled || job.handedOver) return false;
    job.cancelled = true;
    return job.finished;
}

// The posted answer. Destroyed without having run (its context went first), it gives the open up.
struct Answer {
    std::shared_ptr<PlayerOpenJob> job;
    ~Answer() {
        if (job && GiveUp(*job)) EndPlayer(job->player);
    }
};

}  // namespace

PlayerOpener::PlayerOpener(QObject* context) : m_context(context) {}

PlayerOpener::~PlayerOpener() {
    Cancel();
}

int PlayerOpener::Running() {
    return RunningCount().load();
}

void PlayerOpener::Cancel() {
    const std::shared_ptr<PlayerOpenJob> job = std::move(m_job);
    m_job.reset();
    if (job && GiveUp(*job)) EndPlayer(job->player);
}

void PlayerOpener::Open(void* player, const CLumoFileDescList& files, Done done) {
    Cancel();
    auto job = std::make_shared<PlayerOpenJob>();
    job->player = player;
    job->files = files;
    m_job = job;
    QObject* context = m_context;
    RunningCount()++;
    OpenPool()->start([this, job, context, done = std::move(done)]() mutable {
        const int rc = job->player ? LumoPlayerOpenFile(job->player, &job->files) : LUMO_ERR_PARAM;
        {
            std::lock_guard<std::mutex> lock(job->mutex);
            job->result = rc;
            job->finished = true;
            if (!job->cancelled) {
                // Posted under the lock: a give-up on the context's thread (its opener's end
                // comes before the context's) either comes first, and nothing is posted, or
                // after, and the posted answer finds the job given up.
                auto answer = std::make_shared<Answer>();
                answer->job = job;
                QMetaObject::invokeMethod(
                    context,
                    [this, answer, done = std::move(done)]() {
                        const std::shared_ptr<PlayerOpenJob> j = answer->job;
                        int result;
                        {
                            std::lock_guard<std::mutex> lock(j->mutex);
                            if (j->cancelled) return;  // given up: closed by whoever gave it up
                            j->handedOver = true;
                            result = j->result;
                        }
                        // Not given up, so this opener still lives and holds this job.
                        if (m_job == j) m_job.reset();
                        if (done) done(j->player, result);
                    },
                    Qt::QueuedConnection);
                RunningCount()--;
                return;
            }
        }
        EndPlayer(job->player);
        RunningCount()--;
    });
}

}  // namespace lumocore
