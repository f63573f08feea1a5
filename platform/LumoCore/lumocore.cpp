#include <QtGlobal>

#include "lumocore_internal.h"

extern "C" {
#include <libavutil/log.h>
}

namespace lumocore {

uintptr_t NextHandleValue() {
    static std::atomic<uintptr_t> next{0x4C550000};
    return next.fetch_add(0x10);
}

Settings& GetSettings() {
    static Settings s;
    return s;
}

static HandleRegistry<Task>& Tasks() {
    static HandleRegistry<Task> r;
    return r;
}

std::shared_ptr<Task> GetTask(void* handle) {
    return handle ? Tasks().Get(handle) : nullptr;
}

}  // namespace lumocore

using namespace lumocore;

const char* LumoCoreGetErrorText(int code) {
    return LumoResultText(code);
}

int LumoCoreInitialize(const char*) {
    // FFmpeg's own chatter about damaged input is not for the operator's console: our result
    // codes say what went wrong. LUMO_AV_LOG=1 shows it when a file needs a closer look.
    av_log_set_level(qEnvironmentVariableIsSet("LUMO_AV_LOG") ? AV_LOG_WARNING : AV_LOG_QUIET);
    return LUMO_OK;
}

int LumoCoreInvalidate();  // in player_api.cpp: ends every player

void LumoCoreSetTimeouts(int openMs, int readMs) {
    if (openMs > 0) GetSettings().openTimeoutMs = openMs;
    if (readMs > 0) GetSettings().readTimeoutMs = readMs;
}

void LumoCoreSetDecoderThreads(int count) {
    GetSettings().decoderThreads = count < 0 ? 0 : count;
}

bool LumoSpeedIsValid(int code) {
    switch (code) {
        case 1:
        case 2:
        case 4:
        case 8:
        case 16:
        case -2:
        case -4:
        case -8:
        case -16:
            return true;
        default:
            return false;
    }
}

int LumoPlayerTaskCreate(void** task, int size) {
    if (!task) return LUMO_ERR_PARAM;
    auto t = std::make_shared<Task>();
    t->size = size < 1 ? 1 : (size > 256 ? 256 : size);
    *task = Tasks().Add(t);
    return LUMO_OK;
}

int LumoPlayerTaskDelete(void* task) {
    // Players made on the task keep their share of it.
    return Tasks().Remove(task) ? LUMO_OK : LUMO_ERR_PARAM;
}

int LumoPlayerTaskGetSpeed(void* task) {
    auto t = GetTask(task);
    return t ? t->speed.load() : LUMO_SPEED_NORMAL;
}

int LumoPlayerTaskSetSpeed(void* task, int code) {
    auto t = GetTask(task);
    if (!t || !LumoSpeedIsValid(code)) return LUMO_ERR_PARAM;
    t->speed = code;
    return LUMO_OK;
}
