#!/usr/bin/python3
"""A small RTSP server for tests: serves one H.264 MPEG-TS file at one mount path.

Usage: /usr/bin/python3 rtsp_server.py <file.ts> [--port N] [--mount /path]

Port 0 (the default) picks a free port. Prints "READY <port>" on stdout once it listens, then
serves until it is terminated (SIGTERM or SIGINT) or its standard input closes.
Needs Debian's python3-gi, gir1.2-gst-rtsp-server-1.0 and the GStreamer good and bad plug-ins.
"""
import argparse
import os
import signal
import socket
import sys

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer  # noqa: E402


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("file", help="an MPEG-TS file with H.264 video")
    parser.add_argument("--port", type=int, default=0, help="0: pick a free port")
    parser.add_argument("--mount", default="/test", help="mount path, e.g. /live")
    args = parser.parse_args()

    path = os.path.abspath(args.file)
    if not os.path.isfile(path):
        print("ERROR no such file: %s" % path, file=sys.stderr, flush=True)
        return 2
    mount = args.mount if args.mount.startswith("/") else "/" + args.mount

    Gst.init(None)
    for element in ("filesrc", "tsdemux", "h264parse", "rtph264pay"):
        if Gst.ElementFactory.find(element) is None:
            print("ERROR missing GStreamer element %s" % element, file=sys.stderr, flush=True)
            return 3

    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    # A port of 0 is not taken by the server itself: a free one is chosen here and retried if
    # someone takes it first.
    attempts = 1 if args.port else 10
    source_id = 0
    port = args.port
    for _ in range(attempts):
        port = args.port or free_port()
        server.set_service(str(port))
        try:
            source_id = server.attach(None)
        except GLib.Error:
            source_id = 0
        if source_id:
            break
    if not source_id:
        print("ERROR cannot listen on port %d" % port, file=sys.stderr, flush=True)
        return 4

    factory = GstRtspServer.RTSPMediaFactory()
    location = path.replace("\\", "\\\\").replace('"', '\\"')
    factory.set_launch(
        '( filesrc location="%s" ! tsdemux ! h264parse ! rtph264pay name=pay0 pt=96 config-interval=1 )'
        % location)
    factory.set_shared(True)
    server.get_mount_points().add_factory(mount, factory)

    loop = GLib.MainLoop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, sig, lambda *unused: (loop.quit(), False)[1])
    # The test that started us went away: end too.
    GLib.io_add_watch(sys.stdin.fileno(), GLib.IO_HUP | GLib.IO_ERR,
                      lambda *unused: (loop.quit(), False)[1])
    print("READY %d" % server.get_bound_port(), flush=True)
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
