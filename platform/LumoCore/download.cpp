// Downloads are not available in this build yet: every call fails honestly.
#include "LumoCore/LumoCore.h"

int LumoDownloadOpenFile(void** download, const char* url, CLumoFileDescList* list) { return LUMO_ERR_UNSUPPORTED; }
int LumoDownloadAttachStream(void* download, CLumoObject* owner, LumoCallbackHandler handler) { return LUMO_ERR_UNSUPPORTED; }
int LumoDownloadDetachStream(void* download, CLumoObject* owner, LumoCallbackHandler handler) { return LUMO_ERR_UNSUPPORTED; }
int LumoDownloadSetKey(void* download, const char* key1, const char* key2, const char* key3) { return LUMO_ERR_UNSUPPORTED; }
int LumoDownloadStart(void* download, int flags) { return LUMO_ERR_UNSUPPORTED; }
int LumoDownloadGetProgressEx(void* download, int* flags, int* result, int* percent, uint64_t* bytes) { return LUMO_ERR_UNSUPPORTED; }
int LumoDownloadGetProgress(void* download, int* state, int* error, int* progress) { return LUMO_ERR_UNSUPPORTED; }
int LumoDownloadGetBitrate(void* download, unsigned* bitsPerSecond) { return LUMO_ERR_UNSUPPORTED; }
int LumoDownloadGetFileName(void* download, CLumoString* path) { return LUMO_ERR_UNSUPPORTED; }
int LumoDownloadStop(void* download) { return LUMO_ERR_UNSUPPORTED; }
int LumoDownloadClose(void* download) { return LUMO_ERR_UNSUPPORTED; }
