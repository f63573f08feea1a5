// Placeholder definitions of the engine's failure reasons and settings problems.
#include "LumoSRecord/LumoSRecord.h"

int LumoSRGetLastError(int* reason, CLumoString* detail) {
    if (reason) *reason = LUMOSR_REASON_NONE;
    if (detail) detail->Empty();
    return 0;
}

int LumoSRGetConfigProblems(CLumoString* text) {
    if (text) text->Empty();
    return 0;
}
