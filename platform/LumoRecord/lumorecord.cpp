#include "LumoRecord/LumoRecord.h"

int LumoRecordGetFileDesc(CLumoFileDescList* list) { return list ? -1 : -4; }
int LumoRecordProbeDesc(CLumoFileDesc* desc) { return desc ? -1 : -4; }
int LumoRecordParseUri(const char* uri, LumoRecordSource* out) { return -4; }
int LumoRecordCodecFromAV(int) { return LUMO_CODEC_NONE; }
