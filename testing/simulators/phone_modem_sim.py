#!/usr/bin/env python3
"""A phone modem's HTTP side, as the configuration program meets it: a TCP server on
127.0.0.1 that answers "GET /init HTTP/1.0" with the scripted answer of one scenario.

    python3 phone_modem_sim.py --scenario ok [--port 0] [--name N] [--id I] [--log FILE]

Prints "listening on 127.0.0.1:<port>", then "ready", and serves until SIGTERM (or
Ctrl-C). Each request line is appended to --log. From Python:

    with PhoneModemSimulator("ok", log_path="requests.log") as sim:
        host = "127.0.0.1:%d" % sim.port

Scenarios:
  ok                    both device headers, CRLF line ends, Content-Length, then close
  lf-only               as ok with bare LF line ends
  any-case              header names in odd letter case
  name-only             X-QelSMS-DeviceName without X-QelSMS-DeviceID
  body-only             the device headers only after the blank line
  long-value            a device name of more than 150 characters
  trailing-spaces       device values followed by spaces
  tiny-packets          the ok answer in 3-byte sends; the connection stays open, so only
                        Content-Length tells the reader it is done
  no-length-then-close  no Content-Length; the answer ends when the server closes
  silence-after-accept  reads the request and never answers (open until the client goes)
  immediate-close       closes each connection as soon as it is accepted
  endless               an answer without length whose body never ends
  huge-length           Content-Length: 99999999999999999999, a short body, stays open
  cr-cr                 bare CR line ends, the headers ending in CR CR
  mms                   as ok plus X-QelSMS-MMSURL and X-QelSMS-MMSProxy
Anything other than "GET /init" gets "404 Not Found".
"""

import argparse
import signal
import socket
import socketserver
import sys
import threading
import time

SCENARIOS = (
    "ok", "lf-only", "any-case", "name-only", "body-only", "long-value", "trailing-spaces",
    "tiny-packets", "no-length-then-close", "silence-after-accept", "immediate-close",
    "endless", "huge-length", "cr-cr", "mms",
)

REQUEST_WAIT_SECONDS = 10
CLIENT_WAIT_SECONDS = 300
BODY = b"OK\r\n"


def _answer(status, headers, body=BODY, eol=b"\r\n", length=True):
    lines = [status] + list(headers)
    if length:
        lines.append("Content-Length: %d" % len(body))
    head = eol.join(line.encode("latin-1") for line in lines)
    return head + eol + eol + body


class PhoneModemSimulator:
    """The server of one scenario, run on a thread of its own."""

    def __init__(self, scenario, name="Simulated Phone", device_id="351234567890123",
                 log_path=None, port=0, mms_url="http://mms.example.com/mms",
                 mms_proxy="10.0.0.1:8080"):
        if scenario not in SCENARIOS:
            raise ValueError("unknown scenario %r" % scenario)
        self.scenario = scenario
        self.name = name
        self.device_id = device_id
        self.mms_url = mms_url
        self.mms_proxy = mms_proxy
        self.log_path = log_path
        self._log_lock = threading.Lock()
        self._stopping = threading.Event()
        self._connections = set()
        self._connections_lock = threading.Lock()
        simulator = self

        class Handler(socketserver.BaseRequestHandler):
            def handle(self):
                simulator._serve(self.request)

        class Server(socketserver.ThreadingTCPServer):
            allow_reuse_address = True
            daemon_threads = True

        self._server = Server(("127.0.0.1", port), Handler)
        self.port = self._server.server_address[1]
        self._serving = False

    # --- running ---

    def start(self):
        """Serves on a thread of its own; returns at once."""
        self._serving = True
        threading.Thread(target=self._server.serve_forever, daemon=True).start()
        return self

    def serve_forever(self):
        """Serves on the calling thread until stop() is called from another one."""
        self._serving = True
        self._server.serve_forever()

    def stop(self):
        """Stops serving, ends the open connections and closes the listening socket."""
        self._stopping.set()
        if self._serving:
            self._server.shutdown()
            self._serving = False
        with self._connections_lock:
            for connection in list(self._connections):
                try:
                    connection.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
        self._server.server_close()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # --- one connection ---

    def _serve(self, connection):
        with self._connections_lock:
            self._connections.add(connection)
        try:
            if self.scenario == "immediate-close":
                return
            request = self._read_request(connection)
            if request is None:
                return
            line = request.split(b"\n", 1)[0].rstrip(b"\r").decode("latin-1")
            self._log(line)
            if line.split(" ")[:2] != ["GET", "/init"]:
                connection.sendall(_answer("HTTP/1.0 404 Not Found", [], b""))
                return
            self._play(connection)
        except OSError:
            pass
        finally:
            with self._connections_lock:
                self._connections.discard(connection)
            try:
                connection.close()
            except OSError:
                pass

    def _read_request(self, connection):
        connection.settimeout(REQUEST_WAIT_SECONDS)
        data = b""
        while b"\r\n\r\n" not in data and b"\n\n" not in data:
            try:
                chunk = connection.recv(1024)
            except socket.timeout:
                return None
            if not chunk:
                return data or None
            data += chunk
        return data

    def _log(self, line):
        if not self.log_path:
            return
        with self._log_lock, open(self.log_path, "a", encoding="latin-1") as log:
            log.write(line + "\n")

    def _device_headers(self, name_field="X-QelSMS-DeviceName", id_field="X-QelSMS-DeviceID",
                        name=None, device_id=None):
        return ["%s: %s" % (name_field, self.name if name is None else name),
                "%s: %s" % (id_field, self.device_id if device_id is None else device_id)]

    def _play(self, connection):
        ok = "HTTP/1.0 200 OK"
        common = ["Server: QelSMS phone modem simulator", "Content-Type: text/plain"]
        s = self.scenario
        if s == "ok":
            connection.sendall(_answer(ok, common + self._device_headers()))
        elif s == "lf-only":
            connection.sendall(_answer(ok, common + self._device_headers(), eol=b"\n"))
        elif s == "any-case":
            connection.sendall(_answer(ok, common + self._device_headers(
                "x-qelsms-devicename", "X-QELSMS-DEVICEID")))
        elif s == "name-only":
            connection.sendall(_answer(ok, common + self._device_headers()[:1]))
        elif s == "body-only":
            body = "\r\n".join(self._device_headers()).encode("latin-1") + b"\r\n"
            connection.sendall(_answer(ok, common, body))
        elif s == "long-value":
            long_name = (self.name + " ") * (160 // (len(self.name) + 1) + 1)
            connection.sendall(_answer(ok, common + self._device_headers(name=long_name.strip())))
        elif s == "trailing-spaces":
            connection.sendall(_answer(ok, common + self._device_headers(
                name=self.name + "   ", device_id=self.device_id + "  ")))
        elif s == "tiny-packets":
            connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            answer = _answer(ok, common + self._device_headers())
            for at in range(0, len(answer), 3):
                connection.sendall(answer[at:at + 3])
                time.sleep(0.002)
            self._wait_for_client(connection)
        elif s == "no-length-then-close":
            connection.sendall(_answer(ok, common + self._device_headers(), length=False))
        elif s == "silence-after-accept":
            self._wait_for_client(connection)
        elif s == "endless":
            connection.sendall(_answer(ok, common + self._device_headers(), b"", length=False))
            chunk = b"x" * 8191 + b"\n"
            while not self._stopping.is_set():
                connection.sendall(chunk)
        elif s == "huge-length":
            head = _answer(ok, common + self._device_headers() +
                           ["Content-Length: 99999999999999999999"], length=False)
            connection.sendall(head)
            self._wait_for_client(connection)
        elif s == "cr-cr":
            connection.sendall(_answer(ok, common + self._device_headers(), eol=b"\r"))
        elif s == "mms":
            connection.sendall(_answer(ok, common + self._device_headers() + [
                "X-QelSMS-MMSURL: " + self.mms_url, "X-QelSMS-MMSProxy: " + self.mms_proxy]))

    def _wait_for_client(self, connection):
        """Keeps the connection open until the client closes it (or the server stops)."""
        connection.settimeout(1)
        waited = 0
        while waited < CLIENT_WAIT_SECONDS and not self._stopping.is_set():
            try:
                if not connection.recv(1024):
                    return
            except socket.timeout:
                waited += 1


def main():
    parser = argparse.ArgumentParser(description="A phone modem's HTTP side for tests.")
    parser.add_argument("--scenario", required=True, choices=SCENARIOS)
    parser.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (0: any free one)")
    parser.add_argument("--name", default="Simulated Phone", help="the X-QelSMS-DeviceName value")
    parser.add_argument("--id", default="351234567890123", help="the X-QelSMS-DeviceID value")
    parser.add_argument("--log", help="file each request line is appended to")
    options = parser.parse_args()

    simulator = PhoneModemSimulator(options.scenario, options.name, options.id, options.log,
                                    options.port)

    def on_term(signum, frame):
        threading.Thread(target=simulator.stop, daemon=True).start()

    signal.signal(signal.SIGTERM, on_term)
    print("listening on 127.0.0.1:%d" % simulator.port, flush=True)
    print("ready", flush=True)
    try:
        simulator.serve_forever()
    except KeyboardInterrupt:
        simulator._serving = False
        simulator.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
