#!/usr/bin/env python3
"""Runs one HTTP script test against servers of its own on 127.0.0.1.

    python3 tests/http/run_with_server.py --interpreter PATH [--timeout SECONDS] SCRIPT.xol

Starts a plain server and an HTTPS one (with the self-signed certificate beside this file, which no
client trusts) on ports the OS picks, and finds a port nothing listens on. The script names them as
127.0.0.1:PLAIN, 127.0.0.1:SECURE and 127.0.0.1:CLOSED; a copy of it with the ports in their place, its
lines where they were, runs through tests/run_script.py as any other script. Proxy variables are cleared,
so no request leaves the machine.

The plain server answers canned replies by path (see Handler.routes); /echo... answers with the request
it received, /count with the number of requests it served before.
"""

import http.server
import os
import shutil
import socket
import ssl
import sys
import tempfile
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
import run_script  # noqa: E402


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self):
        super().__init__(("127.0.0.1", 0), Handler)
        self.served = 0
        self.lock = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    routes = {
        "/crlf": (200, [], b"one\r\ntwo\r\nthree"),
        "/lines": (200, [], b"a\r\nb\n\nc\r\n"),
        "/twice": (200, [("X-Twice", "first"), ("X-Twice", "second"), ("X-Once", "only")], b"ok"),
        "/missing": (404, [("X-Why", "gone")], b"not here"),
        "/redirect": (302, [("Location", "/final"), ("X-Hop", "first")], b"moved"),
        "/final": (200, [("X-Final", "yes")], b"final"),
        "/bad-utf8": (200, [], b"ab\xffcd"),
        "/bytes": (200, [], bytes(range(256))),
        "/empty": (200, [], b""),
        "/bom": (200, [], b"\xef\xbb\xbfhi\xc3\xa9"),
        "/odd-headers": (200, [("X-Latin", "caf\xe9"), ("X-Blank", ""), ("x-twice", "lower")], b"ok"),
        "/code": (200, [("Content-Type", "text/plain; charset=utf-8")], b"1 two [3]"),
        "/script": (200, [], b'Text first. Xol [Title: "Remote"] print system/script/header/Title 6 * 7'),
        "/probe": (200, [("Content-Type", "application/x-probe; charset=utf-8")], b"1 2"),
        "/cached-script": (200, [], b'Xol [Title: "Cached"] print "ran" 6 * 7'),
        "/json": (200, [("Content-Type", "application/json")], b'{"name": "x", "list": [1, 2.5, null]}'),
        "/csv": (200, [("Content-Type", "text/csv")], b"a,b\r\n1,\"x,y\"\r\n"),
    }

    def log_message(self, format, *args):
        pass

    def __getattr__(self, name):
        # Every method the client sends, whatever its name, is served the same way.
        if name.startswith("do_"):
            return self.serve
        raise AttributeError(name)

    def serve(self):
        with self.server.lock:
            served = self.server.served
            self.server.served += 1
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length) if length else b""
        path = self.path
        if path.startswith("/echo"):
            status, headers = 200, [("Content-Type", "text/plain")]
            lines = [f"{self.command} {path}"]
            for name, value in self.headers.items():
                if name.lower() == "host":
                    value = "this server" if value == "127.0.0.1:%d" % self.server.server_port else value
                lines.append(f"{name}: {value}")
            reply = ("\n".join(lines) + "\n\n").encode("latin-1") + body
        elif path == "/count":
            status, headers, reply = 200, [], str(served).encode()
        elif path in self.routes:
            status, headers, reply = self.routes[path]
        else:
            status, headers, reply = 404, [], b"no route"
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(reply)


def start(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def closed_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def main():
    plain = Server()
    secure = Server()
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(HERE, "self_signed_cert.pem"), os.path.join(HERE, "self_signed_key.pem"))
    secure.socket = context.wrap_socket(secure.socket, server_side=True)
    for name in ("http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY",
                 "NO_PROXY"):
        os.environ.pop(name, None)
    ports = {"PLAIN": start(plain), "SECURE": start(secure), "CLOSED": closed_port()}
    script = sys.argv[-1]
    with open(script, encoding="utf-8") as f:
        text = f.read()
    for name, port in ports.items():
        text = text.replace("127.0.0.1:" + name, "127.0.0.1:%d" % port)
    folder = tempfile.mkdtemp(prefix="xol-http-test-")
    try:
        copy = os.path.join(folder, os.path.basename(script))
        with open(copy, "w", encoding="utf-8") as f:
            f.write(text)
        sys.argv[-1] = copy
        return run_script.main()
    finally:
        plain.shutdown()
        secure.shutdown()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
