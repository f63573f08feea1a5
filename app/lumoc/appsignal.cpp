#include "lumoc/appsignal.h"

ILumoSignal AppSignal(0);

int AttachAppSignal(ILumoCallback* observer, LumoSignalMember member) {
    return AppSignal.Attach(observer, member);
}

int DetachAppSignal(ILumoCallback* observer, LumoSignalMember member) {
    return AppSignal.Detach(observer, member);
}
