// Camera stream URLs: what the player opens as a live stream, decided in one place for the play
// list, the command line, the URL dialog and the control seam.
//   rtsp://[user[:password]@]host[:port][/path][?query]
//   quii://[user[:password]@]host:port/mode=real&idc=<channel>&ids=<stream>
// The scheme compares without case; the host is a name, an IPv4 address or an IPv6 address in
// brackets; a port is 1 to 65535. A URL holds no white space or control character. The password
// ends at the last '@' of the authority, as VantelMaskUrl reads it.
#pragma once

#include <string>

bool LumoIsStreamUrl(const std::string& url);
