#!/usr/bin/env python3
"""Benchmark, run by hand: the mail login tests' reply reader over large replies.

    make windows && python3 tools/bench_mail.py [--windows build/win32] [--sizes 500000,1000000]

A server on 127.0.0.1 greets testing/mail_login_host.exe's SMTP login test with a multi-line
reply of each size (just under 1 MiB at most, so that it completes), sent in 1-byte pieces
and in one piece, in plain text and over TLS from the first byte (a certificate of a test CA
that the rig's prefix trusts for the run; over TLS each 1-byte piece is a TLS record of its
own). The time is the reader's, from MAILTRACE.LOG: from the connection (or the TLS
handshake) to the EHLO sent after the greeting; memory is how much the host's peak working
set grew during the test. The goal: time proportional to the size (the ratio between sizes
follows the ratio of the sizes) and memory under 4x the reply. The growth of a
1,000-byte greeting is printed first for each path (Wine's TLS libraries load during the
first handshake) and taken off the others.

With --native the reader alone is timed too, built with clang++ -O2 from
tools/bench_mail_reader.cpp over a stream in memory, whole and one byte per read.
"""

import argparse
import re
import socket
import subprocess
import ssl
import sys
import tempfile
import threading
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import harness  # noqa: E402
from mail_servers import make_certificates  # noqa: E402

HOST = "mail_login_host.exe"


def greeting(size):
    line = b"220-" + b"x" * 994 + b"\r\n"
    body = line * ((size - 8) // len(line))
    return body + b"220 ok\r\n"


def serve(listener, context, data, piece):
    conn, _ = listener.accept()
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    if context:
        conn = context.wrap_socket(conn, server_side=True)
    with conn:
        step = piece or len(data)
        for start in range(0, len(data), step):
            conn.sendall(data[start:start + step])
        conn.settimeout(30)
        try:
            conn.recv(100)  # EHLO; then close
        except OSError:
            pass


def stamp(log, pattern):
    for line in log.splitlines():
        if re.search(pattern, line):
            return int(line.split()[0])
    raise RuntimeError("no %r in the transcript:\n%s" % (pattern, log[:2000]))


def run(rig, env, folder, size, piece, tls):
    context = None
    if tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(str(folder / "server.pem"), str(folder / "server.key"))
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    port = listener.getsockname()[1]
    thread = threading.Thread(target=serve, args=(listener, context, greeting(size), piece), daemon=True)
    thread.start()
    done = rig.wine([env.install / HOST, "--fast", "smtp", "localhost:%d" % port, "tls" if tls else "plain",
                     "u", "p"], cwd=str(env.install), timeout=600)
    thread.join(60)
    listener.close()
    fields = [line.split() for line in done.stdout.splitlines() if line.startswith("result ")]
    log = (env.data / "MAILTRACE.LOG").read_bytes().decode("latin-1")
    start = stamp(log, r"# TLS started" if tls else r"# connected")
    end = stamp(log, r"> EHLO clienttest")
    return end - start, int(fields[0][3])


def native():
    with tempfile.TemporaryDirectory() as work:
        program = Path(work) / "bench_mail_reader"
        subprocess.run(["clang++", "-O2", "-std=c++17", "-I", str(ROOT), str(ROOT / "tools" / "bench_mail_reader.cpp"),
                        str(ROOT / "email" / "mail_replies.cpp"), str(ROOT / "base" / "text.cpp"), "-o",
                        str(program)], check=True)
        print("native reader (pieces, bytes, ms):")
        print(subprocess.run([str(program)], check=True, stdout=subprocess.PIPE).stdout.decode())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--windows", default="build/win32")
    parser.add_argument("--sizes", default="500000,1000000")
    parser.add_argument("--native", action="store_true")
    args = parser.parse_args()
    sizes = [int(s) for s in args.sizes.split(",")]
    if args.native:
        native()
    with harness.Rig(ROOT, args.windows) as rig, tempfile.TemporaryDirectory() as work:
        env = rig.fresh_env(name="bench-mail")
        folder = Path(work)
        make_certificates(folder)
        client = [rig.testbin / "tls_client.exe"]
        ca = harness.to_windows(folder / "ca.pem")
        try:
            (env.install / HOST).write_bytes((rig.testbin / HOST).read_bytes())
            rig.wine(client + ["trust", ca], cwd=str(rig.install_source))
            print("%-6s %-10s %10s %10s %12s %14s" % ("path", "pieces", "bytes", "ms", "ns/byte", "peak growth"))
            for tls in (False, True):
                _, base = run(rig, env, folder, 1000, 0, tls)
                print("%-6s %-10s %10d %10s %12s %10d KiB (baseline)" % ("TLS" if tls else "plain", "one piece",
                                                                      1000, "", "", base))
                for piece in (0, 1):
                    for size in sizes:
                        ms, kib = run(rig, env, folder, size, piece, tls)
                        print("%-6s %-10s %10d %10d %12.0f %10d KiB (%.1fx)" % (
                            "TLS" if tls else "plain", "1 byte" if piece else "one piece", size, ms,
                            ms * 1e6 / size, kib - base, (kib - base) * 1024.0 / size))
                        sys.stdout.flush()
        finally:
            rig.wine(client + ["untrust", ca], cwd=str(rig.install_source))
            env.cleanup()


if __name__ == "__main__":
    main()
