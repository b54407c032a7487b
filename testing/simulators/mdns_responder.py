#!/usr/bin/env python3
"""Phone modems on a UDP port of 127.0.0.1, answering the DNS service discovery query
for "_qelsmsmodem._tcp.local" as phones on the network answer a one-shot query: every
phone its own answer (the PTR in the answer section, SRV and A in the additional one,
names compressed), sent to the port the query came from with its id and question.

    python3 mdns_responder.py --port P --phone "Pixel 7=8990" --phone "../evil=8991" \\
        [--late NAME] [--late-query N] [--twice NAME]

--phone NAME=TCPPORT  a phone modem whose SRV points at 127.0.0.1:TCPPORT (repeatable)
--late NAME           this phone answers only from the N-th query on (--late-query, 2)
--twice NAME          this phone's answer is sent twice
Follow-up questions (SRV of an instance, A of a phone's host) are answered too.
Prints "ready" once it listens (after "port N" when --port is 0); runs until killed.

As a module: MdnsResponder([("Pixel 7", 8990)], late=["Pixel 7"]).start() gives the
port; stop() ends it; queries counts the queries answered so far.
"""

import argparse
import socket
import struct
import sys
import threading

SERVICE = ("_qelsmsmodem", "_tcp", "local")
TYPE_A, TYPE_PTR, TYPE_SRV = 1, 12, 33
CLASS_IN = 1
TTL = 120


def _key(labels):
    return tuple(label.lower() for label in labels)


class _Writer:
    """A DNS message with compressed names."""

    def __init__(self):
        self.data = bytearray()
        self.suffixes = {}

    def name(self, labels):
        labels = tuple(labels)
        for i in range(len(labels)):
            suffix = labels[i:]
            if suffix in self.suffixes:
                self.data += struct.pack("!H", 0xC000 | self.suffixes[suffix])
                return
            if len(self.data) < 0x3FFF:
                self.suffixes[suffix] = len(self.data)
            raw = labels[i].encode("utf-8")
            self.data += bytes([len(raw)]) + raw
        self.data += b"\0"

    def record(self, labels, rtype, rdata_writer):
        self.name(labels)
        self.data += struct.pack("!HHIH", rtype, CLASS_IN, TTL, 0)
        start = len(self.data)
        rdata_writer()
        struct.pack_into("!H", self.data, start - 2, len(self.data) - start)


def _read_name(data, pos):
    """The labels at pos (pointers followed backwards only) and the offset after the name."""
    labels, end, segment = [], None, pos
    while True:
        if pos >= len(data):
            raise ValueError("name past the end")
        length = data[pos]
        if length >= 0xC0:
            if pos + 1 >= len(data):
                raise ValueError("pointer past the end")
            target = (length & 0x3F) << 8 | data[pos + 1]
            if target >= segment:
                raise ValueError("pointer not backwards")
            if end is None:
                end = pos + 2
            pos = segment = target
            continue
        if length == 0:
            return labels, (pos + 1 if end is None else end)
        labels.append(bytes(data[pos + 1:pos + 1 + length]).decode("utf-8", "replace"))
        pos += 1 + length


def parse_query(data):
    """(id, [(labels, type)]) of a query; None for a response or a malformed packet."""
    if len(data) < 12:
        return None
    query_id, flags, questions = struct.unpack("!HHH", data[:6])
    if flags & 0x8000:
        return None
    pos, asked = 12, []
    try:
        for _ in range(questions):
            labels, pos = _read_name(data, pos)
            qtype, _qclass = struct.unpack("!HH", data[pos:pos + 4])
            pos += 4
            asked.append((labels, qtype))
    except (ValueError, struct.error):
        return None
    return query_id, asked


class Phone:
    def __init__(self, index, name, tcp_port):
        self.name = name
        self.tcp_port = tcp_port
        self.instance = (name,) + SERVICE
        self.host = ("phone%d" % index, "local")

    def matches(self, labels, qtype):
        if qtype == TYPE_PTR:
            return _key(labels) == _key(SERVICE)
        if qtype == TYPE_SRV:
            return _key(labels) == _key(self.instance)
        if qtype == TYPE_A:
            return _key(labels) == _key(self.host)
        return False

    def answer(self, query_id, asked):
        out = _Writer()
        out.data += struct.pack("!HHHHHH", query_id, 0x8400, len(asked), 1, 0, 2)
        for labels, qtype in asked:
            out.name(labels)
            out.data += struct.pack("!HH", qtype, CLASS_IN)
        out.record(SERVICE, TYPE_PTR, lambda: out.name(self.instance))

        def srv():
            out.data += struct.pack("!HHH", 0, 0, self.tcp_port)
            out.name(self.host)

        out.record(self.instance, TYPE_SRV, srv)
        out.record(self.host, TYPE_A, lambda: out.data.extend(socket.inet_aton("127.0.0.1")))
        return bytes(out.data)


class MdnsResponder:
    def __init__(self, phones, port=0, late=(), late_query=2, twice=(), address="127.0.0.1"):
        self.phones = [Phone(i, name, tcp_port) for i, (name, tcp_port) in enumerate(phones)]
        self.late = set(late)
        self.late_query = late_query
        self.twice = set(twice)
        self.queries = 0
        self._socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self._socket.bind((address, port))
        self._socket.settimeout(0.2)
        self.port = self._socket.getsockname()[1]
        self._stop = threading.Event()
        self._thread = None

    def start(self):
        self._thread = threading.Thread(target=self.serve, daemon=True)
        self._thread.start()
        return self.port

    def stop(self):
        self._stop.set()
        if self._thread:
            self._thread.join()
        self._socket.close()

    def serve(self):
        while not self._stop.is_set():
            try:
                data, sender = self._socket.recvfrom(9000)
            except socket.timeout:
                continue
            except OSError:
                return
            self.handle(data, sender)

    def handle(self, data, sender):
        query = parse_query(data)
        if query is None:
            return
        query_id, asked = query
        self.queries += 1
        for phone in self.phones:
            if phone.name in self.late and self.queries < self.late_query:
                continue
            matching = [(labels, qtype) for labels, qtype in asked if phone.matches(labels, qtype)]
            if not matching:
                continue
            packet = phone.answer(query_id, matching)
            for _ in range(2 if phone.name in self.twice else 1):
                self._socket.sendto(packet, sender)


def _phone(text):
    name, sep, port = text.rpartition("=")
    if not sep or not name or not port.isdigit():
        raise argparse.ArgumentTypeError("expected NAME=TCPPORT, got %r" % text)
    return name, int(port)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--phone", type=_phone, action="append", default=[])
    parser.add_argument("--late", action="append", default=[])
    parser.add_argument("--late-query", type=int, default=2)
    parser.add_argument("--twice", action="append", default=[])
    options = parser.parse_args(argv)
    responder = MdnsResponder(options.phone, port=options.port, late=options.late,
                              late_query=options.late_query, twice=options.twice)
    if options.port == 0:
        print("port %d" % responder.port)
    print("ready", flush=True)
    try:
        responder.serve()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
