// Placeholder bodies until the media engine lands.
#include "LumoCore/LumoCore.h"

const char* LumoCoreGetErrorText(int code) { return ""; }
int LumoCoreInitialize(const char* config) { return LUMO_ERR_UNSUPPORTED; }
int LumoCoreInvalidate() { return LUMO_ERR_UNSUPPORTED; }
void LumoCoreSetTimeouts(int openMs, int readMs) {  }
bool LumoSpeedIsValid(int code) { return false; }
int LumoPlayerTaskCreate(void** task, int size) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerTaskDelete(void* task) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerTaskGetSpeed(void* task) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerTaskSetSpeed(void* task, int code) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerCreate(void** player, void* window, void* task) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerAttachStream(void* player, ILumoCallback* callback, LumoSignalMember member) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerDetachStream(void* player, ILumoCallback* callback, LumoSignalMember member) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerListen(void* player, int on) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerOpenFile(void* player, CLumoFileDescList* list) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerOpen(void* player, const char* url, int flags) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerAddFile(void* player, CLumoFileDescList* list) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerDeleteFile(void* player, CLumoFileDescList* list) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerStart(void* player) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerStop(void* player) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerClose(void* player) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerPause(void* player) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerResume(void* player) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerStep(void* player) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerSetSpeed(void* player, int code) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerGetSpeed(void* player, int* code) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerSetVolume(void* player, int volume) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerGetVolume(void* player, int* volume) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerSetDisplayScale(void* player, int mode, float ratio) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerSeekTime(void* player, const CLumoTime* time) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerSeekFile(void* player, const CLumoFileDesc* desc) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerGetState(void* player, int* state) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerGetPlaybackTime(void* player, CLumoTime* time) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerGetCurrentFile(void* player, CLumoFileDesc* desc) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerGetVideoSize(void* player, int* width, int* height) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerRefresh(void* player, void* window, int flags) { return LUMO_ERR_UNSUPPORTED; }
int LumoPlayerSnapshot(void* player, int reserved, const CLumoString& target, CLumoString* savedPath, int format) { return LUMO_ERR_UNSUPPORTED; }
int LumoMediaSearchCreate(void** search, const char* url, ILumoFSSearchParam* param, int reserved1, int reserved2) { return LUMO_ERR_UNSUPPORTED; }
int LumoMediaSearchNext(void* search, CLumoFileDescList* list, int max) { return LUMO_ERR_UNSUPPORTED; }
int LumoMediaSearchDelete(void* search) { return LUMO_ERR_UNSUPPORTED; }
int LumoMediaSearch(const char* disk, ILumoFSSearchParam* param, CLumoFileDescList* found, unsigned flag, int reserved1, int reserved2) { return LUMO_ERR_UNSUPPORTED; }
void LumoMediaSearchSetSource(LumoMediaSearchSource source) {  }
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
