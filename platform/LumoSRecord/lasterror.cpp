#include "lasterror.h"

#include "LumoSRecord/LumoSRecord.h"

namespace kesto {

namespace {
// Each thread has its own: a reason belongs to the call that the same thread made last.
thread_local int t_reason = LUMOSR_REASON_NONE;
thread_local std::string t_detail;
}  // namespace

void SetLastError(int reason, const std::string& detail) {
    t_reason = reason;
    t_detail = detail;
}

void ClearLastError() {
    t_reason = LUMOSR_REASON_NONE;
    t_detail.clear();
}

int LastErrorReason() {
    return t_reason;
}

const std::string& LastErrorDetail() {
    return t_detail;
}

}  // namespace kesto
