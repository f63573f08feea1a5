// The engine's HTTP/1.1 API: its disks, disk states, channels, camera identities, blocks,
// record-file search and disk format as JSON, and its record files by byte range (README.md,
// "Recording engine on the network", lists every request).
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "access.h"

namespace httplib {
class Server;
}

namespace kesto {

class Storage;

// What the handlers reach of the engine. Both functions are called from httplib's worker threads
// and must be thread-safe.
struct ApiContext {
    std::function<std::shared_ptr<Storage>()> storage;  // null when the engine is not initialised
    std::function<QString()> securityFile;              // path of the engine's security file
};

// Registers the routes, the access check and the error answers on `server`. `accounts` and
// `logins` outlive the server.
void InstallApi(httplib::Server& server, const ApiContext& context, AccountCache* accounts,
                LoginGuard* logins);

// HTTP status of an engine result code.
int HttpStatusOf(int lumoResult);

// A single "bytes=" range against a file of `size` bytes: false when it cannot be served (more
// than one range, a range past the end, a malformed header); *first and *last inclusive.
bool ParseSingleRange(const std::string& header, uint64_t size, uint64_t* first, uint64_t* last);

// The name a request's Range header reaches the handlers under: the listener renames it, so that
// httplib never answers a range itself (its answers to ranges it cannot read lack Content-Range).
extern const char* const kRangeHeader;

// The route of a record file: "/records/<disk>/<block>/<file>".
extern const char* const kRecordsPrefix;

}  // namespace kesto
