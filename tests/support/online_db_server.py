#!/usr/bin/env python3
"""A stand-in for the plug-in and tool database, on loopback only.

Usage: online_db_server.py STATE_DIR. Writes the chosen port to
STATE_DIR/port and every request line with its User-Agent and Accept to
STATE_DIR/requests.log. The version answer is STATE_DIR/version (missing: 404).
"""
import http.server
import os
import sys
import time
import urllib.parse

STATE = sys.argv[1]

GOOD = (b"media: audio\nproto: RTP/AVP\ntool: fetched-player\ntoolname: Fetched Player\n"
        b"date: 2/3/2027\nfmt: 0\n{\nfmtname: PCMU\n}\nflags: -i $(SDPFILE)\n")
BROKEN = b"media: audio\nproto: RTP/AVP\ntool: evil\n@define: x\n"


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body=b"", headers=()):
        self.send_response(status)
        for k, v in headers:
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        with open(os.path.join(STATE, "requests.log"), "a") as log:
            log.write("%s\tUA=%s\tAccept=%s\n" % (self.path, self.headers.get("User-Agent"), self.headers.get("Accept")))
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        base = "http://127.0.0.1:%d" % self.server.server_port
        if url.path == "/scripts/versioncheck.idc":
            try:
                with open(os.path.join(STATE, "version"), "rb") as f:
                    return self.reply(200, f.read())
            except FileNotFoundError:
                return self.reply(404, b"not here")
        if url.path == "/scripts/tool.idc":
            tool = query.get("tool", [""])[0]
            if tool == "slow":
                time.sleep(20)
                return self.reply(200, b"http://late/\n")
            if tool == "big":
                return self.reply(200, b"x" * (2 << 20))
            if tool == "missing":
                return self.reply(404)
            if tool == "unknown":
                return self.reply(200)
            if tool == "local":
                return self.reply(200, b"file:///etc/passwd\n")
            return self.reply(200, ("%s/pages/\r\n%s\n" % (base, urllib.parse.quote(tool))).encode())
        if url.path == "/scripts/plugin.idc":
            if query.get("Media", [""])[0] == "slow":
                line = "Slow|%s/slow/rev2.plugin.slow.audio.rtpavp.1|Takes its time|2/3/2027\n" % base
                return self.reply(200, line.encode())
            lines = ["Good|%s/files/rev2.plugin.fetched.audio.rtpavp.1|A player from the net|2/3/2027" % base,
                     "",
                     "Redirected|%s/redirect/rev2.plugin.moved.audio.rtpavp.1|Moved|1/1/27" % base,
                     "Broken|%s/broken/rev2.plugin.fetched.audio.rtpavp.1|Same name, broken|3/3/2027" % base,
                     "Sneaky|%s/files/..|Not a plain name|" % base,
                     "Looping|%s/loop/rev2.plugin.loop.audio.rtpavp.1|Endless redirects|" % base,
                     "Short line|no date"]
            return self.reply(200, ("\n".join(lines) + "\n").encode())
        if url.path.startswith("/files/"):
            return self.reply(200, GOOD)
        if url.path.startswith("/slow/"):
            time.sleep(20)
            return self.reply(200, GOOD)
        if url.path.startswith("/broken/"):
            return self.reply(200, BROKEN)
        if url.path.startswith("/redirect/"):
            return self.reply(302, headers=[("Location", "/files/" + url.path.split("/")[-1])])
        if url.path.startswith("/loop/"):
            return self.reply(302, headers=[("Location", url.path)])
        if url.path == "/setup.bin":
            return self.reply(200, bytes(range(256)) * 1000)
        return self.reply(404)


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
with open(os.path.join(STATE, "port.tmp"), "w") as f:
    f.write(str(server.server_port))
os.rename(os.path.join(STATE, "port.tmp"), os.path.join(STATE, "port"))
server.serve_forever()
