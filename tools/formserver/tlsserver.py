#!/usr/bin/env python3
"""The form server's TLS mode, on the Linux side (Wine's security package
cannot be a TLS server), with the standard library alone.

  tlsserver.py form --cert CERT --key KEY --port-file PATH [--log PATH]
                    [--count N] [--idle-ms MS]
      As formserver.exe, over TLS 1.2 or newer: answers each POST with
      "200 OK" and a short text naming what it received, appends every
      request to the log, ends after N requests or MS milliseconds without a
      client. The port file is complete when it appears.

  tlsserver.py scripted --dir DIR start | stop
      The tests' server, a daemon: writes its control port to DIR/control-port
      and ends on "stop", or after five minutes without a control connection.
      A "GET /NAME HTTP/1.0" there is answered with the file DIR/NAME (the
      certificate authority's revocation list). Each other control
      connection plays one scenario:
        client: "serve MODE CERT REPLY\\n"  (REPLY in hex, "-" for none;
                                            CERT a file in DIR, "-" for none)
        server: "port N\\n"                  (one connection is taken there)
        client: "done\\n"                    (the client under test returned)
        server: "connected C handshake H received N\\n" and the N bytes of
                plain text that the client sent.
      Modes: tls (TLS 1.2 and newer), tls10 (TLS 1.0 only), plain (answers
      REPLY to the first bytes, without TLS), silent (accepts, never sends),
      tls-silent (handshake, reads the request, never answers), trickle and
      tls-trickle (read the request, send REPLY one byte a second, each byte
      its own record over TLS), handshake-trickle (one byte a second of a
      TLS record that never ends, in place of the handshake's answer).
"""
import argparse
import os
import select
import socket
import ssl
import sys
import threading
import time

WAIT_S = 10.0          # longest wait for a client's bytes
HOLD_S = 30.0          # longest a silent or trickling scenario waits for "done"
DAEMON_IDLE_S = 300.0  # the daemon ends after this long without a control connection


def split_head(data):
    """The head up to its empty line (a bare LF or a CR LF one, whichever
    comes first) and what follows it; None while the empty line is missing."""
    marks = [(data.find(mark), mark) for mark in (b"\n\n", b"\r\n\r\n") if data.find(mark) >= 0]
    if not marks:
        return None
    end, mark = min(marks)
    return data[:end], data[end + len(mark):]


def content_length(head):
    for line in head.split(b"\n"):
        if line.lower().startswith(b"content-length:"):
            try:
                return max(0, int(line[15:].strip()))
            except ValueError:
                return 0
    return 0


def request_complete(data):
    """The head, Content-Length bytes and, when the client sends one (as
    Wexlib does), the line feed after them."""
    parts = split_head(data)
    return parts is not None and len(parts[1]) >= content_length(parts[0]) + 1


def read_request(conn, deadline):
    data = b""
    while not request_complete(data) and time.monotonic() < deadline:
        conn.settimeout(max(0.01, deadline - time.monotonic()))
        try:
            chunk = conn.recv(4096)
        except (socket.timeout, ssl.SSLError, OSError):
            break
        if not chunk:
            break
        data += chunk
    return data


def server_context(cert, key, tls10=False):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    if tls10:
        context.minimum_version = ssl.TLSVersion.TLSv1
        context.maximum_version = ssl.TLSVersion.TLSv1
        context.set_ciphers("DEFAULT:@SECLEVEL=0")
    else:
        context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(cert, key)
    return context


def listener():
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", 0))
    s.listen(4)
    return s


def write_atomically(path, text):
    partial = path + ".partial"
    with open(partial, "w") as f:
        f.write(text)
    os.replace(partial, path)


# ---- The demo's form server ----------------------------------------------

def form_answer(request):
    parts = split_head(request)
    if parts is None or len(parts[1]) < content_length(parts[0]):
        return b"HTTP/1.0 400 Bad Request", b"incomplete request\r\n"
    head, rest = parts
    if not head.startswith(b"POST "):
        return b"HTTP/1.0 405 Method Not Allowed", b"only POST is answered here\r\n"
    first = head.split(b"\n", 1)[0].rstrip(b"\r")
    body = rest[:content_length(head)]
    text = b"received " + first + b" with " + str(len(body)).encode() + b" bytes\r\n" + body + b"\r\n"
    return b"HTTP/1.0 200 OK", text


def run_form(args):
    context = server_context(args.cert, args.key)
    s = listener()
    write_atomically(args.port_file, "%d\n" % s.getsockname()[1])
    served = 0
    while served < args.count:
        ready, _, _ = select.select([s], [], [], args.idle_ms / 1000.0)
        if not ready:
            print("tlsserver: no client for %d ms, ending" % args.idle_ms, file=sys.stderr)
            break
        raw, _ = s.accept()
        served += 1
        try:
            raw.settimeout(WAIT_S)
            conn = context.wrap_socket(raw, server_side=True)
        except (ssl.SSLError, OSError) as e:
            print("tlsserver: handshake failed: %s" % e, file=sys.stderr)
            raw.close()
            continue
        request = read_request(conn, time.monotonic() + WAIT_S)
        if args.log:
            with open(args.log, "ab") as log:
                log.write(request)
        status, text = form_answer(request)
        try:
            conn.sendall(status + b"\r\nServer: formserver\r\nContent-Type: text/plain\r\n\r\n" + text)
            conn.unwrap().close()
        except (ssl.SSLError, OSError):
            conn.close()
    s.close()
    return 0


# ---- The tests' scripted server ------------------------------------------

class Scenario:
    def __init__(self, folder, mode, cert, reply):
        self.folder, self.mode, self.cert, self.reply = folder, mode, cert, reply
        self.connected = False
        self.handshake = False
        self.received = b""
        self.done = threading.Event()
        self.listener = listener()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def context(self):
        path = lambda name: os.path.join(self.folder, name)
        return server_context(path(self.cert), path("server.key"), tls10=self.mode == "tls10")

    def hold(self):
        self.done.wait(HOLD_S)

    def trickle(self, conn):
        for i in range(len(self.reply)):
            if self.done.wait(1.0):
                return
            conn.sendall(self.reply[i:i + 1])
        self.hold()

    def run(self):
        # Until a client comes or the test says it is done.
        while not self.done.is_set():
            ready, _, _ = select.select([self.listener], [], [], 0.05)
            if ready:
                break
        else:
            return
        raw, _ = self.listener.accept()
        self.connected = True
        try:
            self.play(raw)
        except (ssl.SSLError, OSError):
            pass
        finally:
            raw.close()

    def play(self, raw):
        deadline = time.monotonic() + WAIT_S
        if self.mode in ("plain", "trickle"):
            if self.mode == "plain":
                raw.settimeout(WAIT_S)
                self.received = raw.recv(4096)
                raw.sendall(self.reply)
                raw.shutdown(socket.SHUT_WR)
                return
            self.received = read_request(raw, deadline)
            self.trickle(raw)
            return
        if self.mode == "silent":
            self.hold()
            return
        if self.mode == "handshake-trickle":
            raw.settimeout(WAIT_S)
            raw.recv(4096)  # the client's hello
            # A handshake record that announces 16 KiB and never completes.
            record = b"\x16\x03\x03\x40\x00" + b"\x02" * 64
            for i in range(len(record)):
                if self.done.wait(1.0):
                    return
                raw.sendall(record[i:i + 1])
            self.hold()
            return
        raw.settimeout(WAIT_S)
        conn = self.context().wrap_socket(raw, server_side=True)
        self.handshake = True
        self.received = read_request(conn, deadline)
        if self.mode == "tls-silent":
            self.hold()
        elif self.mode == "tls-trickle":
            self.trickle(conn)
        else:
            conn.sendall(self.reply)
            try:
                conn.unwrap()
            except (ssl.SSLError, OSError):
                pass

    def finish(self):
        self.done.set()
        self.thread.join(WAIT_S + 5)
        self.listener.close()


def control(conn, folder):
    conn.settimeout(60)
    reader = conn.makefile("rb")
    words = reader.readline().split()
    if len(words) == 1 and words[0] == b"stop":
        return True
    if len(words) == 3 and words[0] == b"GET" and words[1].startswith(b"/"):
        name = os.path.basename(words[1].decode())
        try:
            with open(os.path.join(folder, name), "rb") as f:
                data = f.read()
            conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: application/pkix-crl\r\nContent-Length: %d\r\n\r\n"
                         % len(data) + data)
        except OSError:
            conn.sendall(b"HTTP/1.0 404 Not Found\r\n\r\n")
        return False
    if len(words) != 4 or words[0] != b"serve":
        conn.sendall(b"error\n")
        return False
    mode = words[1].decode()
    cert = words[2].decode()
    reply = b"" if words[3] == b"-" else bytes.fromhex(words[3].decode())
    scenario = Scenario(folder, mode, cert, reply)
    conn.sendall(b"port %d\n" % scenario.listener.getsockname()[1])
    reader.readline()  # "done", or the end of the connection
    scenario.finish()
    conn.sendall(b"connected %d handshake %d received %d\n" % (scenario.connected, scenario.handshake,
                                                               len(scenario.received)) + scenario.received)
    return False


def run_daemon(folder):
    s = listener()
    stopping = threading.Event()

    def serve(conn):
        try:
            if control(conn, folder):
                stopping.set()
        except (OSError, ValueError):
            pass
        finally:
            conn.close()

    write_atomically(os.path.join(folder, "control-port"), "%d\n" % s.getsockname()[1])
    while not stopping.is_set():
        ready, _, _ = select.select([s], [], [], DAEMON_IDLE_S)
        if not ready:
            break
        conn, _ = s.accept()
        threading.Thread(target=serve, args=(conn,), daemon=True).start()
        # A "stop" arrives on a connection of its own: give it a moment.
        stopping.wait(0.05)
    s.close()


def start_daemon(folder):
    port_file = os.path.join(folder, "control-port")
    os.makedirs(folder, exist_ok=True)
    if os.path.exists(port_file):
        os.remove(port_file)
    if os.fork() == 0:
        # Detached from the caller's session and output, so that whoever
        # started it (CTest) does not wait for it.
        os.setsid()
        if os.fork() != 0:
            os._exit(0)
        with open(os.path.join(folder, "scripted-server.log"), "ab") as log:
            os.dup2(log.fileno(), 1)
            os.dup2(log.fileno(), 2)
        devnull = os.open(os.devnull, os.O_RDONLY)
        os.dup2(devnull, 0)
        try:
            run_daemon(folder)
        finally:
            os._exit(0)
    for _ in range(200):
        if os.path.exists(port_file):
            return 0
        time.sleep(0.05)
    print("tlsserver: the scripted server did not start (see scripted-server.log)", file=sys.stderr)
    return 1


def stop_daemon(folder):
    try:
        with open(os.path.join(folder, "control-port")) as f:
            port = int(f.read())
        with socket.create_connection(("127.0.0.1", port), timeout=5) as c:
            c.sendall(b"stop\n")
    except (OSError, ValueError):
        pass  # not running: nothing to stop
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    form = sub.add_parser("form")
    form.add_argument("--cert", required=True)
    form.add_argument("--key", required=True)
    form.add_argument("--port-file", required=True)
    form.add_argument("--log")
    form.add_argument("--count", type=int, default=1)
    form.add_argument("--idle-ms", type=int, default=60000)
    scripted = sub.add_parser("scripted")
    scripted.add_argument("--dir", required=True)
    scripted.add_argument("action", choices=["start", "stop"])
    args = parser.parse_args()
    if args.command == "form":
        return run_form(args)
    folder = os.path.abspath(args.dir)
    return start_daemon(folder) if args.action == "start" else stop_daemon(folder)


if __name__ == "__main__":
    sys.exit(main())
