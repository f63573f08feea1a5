// The reason behind the calling thread's last failed engine call (LumoSRGetLastError).
#pragma once

#include <string>

namespace kesto {

// Sets the calling thread's reason (a LUMOSR_REASON_* value) and its detail.
void SetLastError(int reason, const std::string& detail);
// Forgets it: every engine call starts with this, so a success leaves LUMOSR_REASON_NONE.
void ClearLastError();
int LastErrorReason();
const std::string& LastErrorDetail();

}  // namespace kesto
