// The LumoSR* calls against a recorder named by URL: the URL form, and the calls that go over the
// engine's HTTP API with the caller's time-out.
//
// Recorder URLs (the network forms are read by LumoRecorderUrl, LumoFS/LumoRecorderUrl.h):
//   null or ""                                        the engine in this process
//   lumofs://localhost/media  (also lumofs://local/media)
//                                                     this machine's recorder: the engine in this
//                                                     process when it is initialised, otherwise
//                                                     the one listening on 127.0.0.1 at
//                                                     kLumoRecorderDefaultPort
//   lumofs://[account[:password]@]host[:port][/media] a recorder on the network
//   http://[account[:password]@]host[:port][/]
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "LumoSRecord/LumoSRecord.h"

namespace kesto {

struct RecorderUrl {
    bool inProcess = false;  // the engine of this process
    std::string host;        // for a network recorder
    uint16_t port = 0;
    bool hasAccount = false;
    std::string account, password;

    // "http://[account:password@]host:port", with account and password percent-encoded.
    std::string HttpBase() const;
};

// Parses a recorder URL; `engineInitialised` decides what "this machine's recorder" means.
// LUMOSR_ERR_PARAM for anything else.
int ParseRecorderUrl(const char* url, bool engineInitialised, RecorderUrl* out);

// The calls over the network; each sets the calling thread's last error on failure
// (LUMOSR_REASON_UNREACHABLE for a recorder that cannot be reached, LUMOSR_REASON_ACCESS_DENIED
// for a refused account, or the recorder's own reason).
int RemoteDiskInfo(const RecorderUrl& url, IVantelList** out, int timeoutMs);
int RemoteChanInfo(const RecorderUrl& url, IVantelList** out, int timeoutMs);
int RemoteCUIDInfo(const RecorderUrl& url, IVantelList** out, int timeoutMs);
int RemoteBlockInfo(const RecorderUrl& url, int64_t diskId, IVantelList* list, int timeoutMs);
int RemoteFormatDisk(const RecorderUrl& url, int64_t diskId, int access, int timeoutMs);
// Hands every file found to `each`, in the recorder's order, as a descriptor (valid during the call
// only) with an "http://.../records/<disk>/<block>/<file>" URI that the media layer opens directly.
int RemoteSearch(const RecorderUrl& url, const ILumoFSSearchParam& param,
                 const std::function<void(const CLumoFileDesc&)>& each, int timeoutMs);

}  // namespace kesto
