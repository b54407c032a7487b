"""TLSLINK.DLL from the staged installation, driven by testing/tls_client against TLS peers
written here with Python's ssl module over plain sockets, so that each peer decides exactly
which bytes go out when: a mebibyte each way in small pieces, a connection cut inside a
record, close_notify, and the certificate checks against certificates made with openssl."""

import socket
import ssl
import subprocess
import tempfile
import threading
from pathlib import Path

import harness

MEBIBYTE = 1 << 20
TEST_CA = "Qel TLS Test CA"


def pattern(count):
    """The bytes tls_client sends and expects: byte i is (i * 31 + i / 2048) mod 256."""
    return bytes(((i * 31) + (i >> 11)) & 0xFF for i in range(count))


def openssl(*args):
    subprocess.run(["openssl"] + list(args), check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def make_certificates(folder):
    """ca.pem (a CA), server.pem signed by it for localhost, self.pem self-signed for
    localhost; each with its .key."""
    f = Path(folder)
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=" + TEST_CA,
            "-keyout", f / "ca.key", "-out", f / "ca.pem",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    (f / "server.ext").write_text("subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n"
                                  "basicConstraints=CA:FALSE\n")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
            "-keyout", f / "server.key", "-out", f / "server.csr")
    openssl("x509", "-req", "-in", f / "server.csr", "-CA", f / "ca.pem", "-CAkey", f / "ca.key",
            "-CAcreateserial", "-days", "2", "-extfile", f / "server.ext", "-out", f / "server.pem")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=localhost",
            "-addext", "subjectAltName=DNS:localhost", "-keyout", f / "self.key", "-out", f / "self.pem")
    return f


class Peer:
    """One TLS server connection on 127.0.0.1, played by behaviour(conn) on a thread. conn
    moves TLS bytes through memory BIOs, so the behaviour chooses how they hit the socket."""

    def __init__(self, folder, certificate, behaviour, handshake=True, minimum=None):
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        if minimum:
            self.context.minimum_version = minimum
        self.context.load_cert_chain(str(folder / (certificate + ".pem")),
                                     str(folder / (certificate + ".key")))
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.listener.settimeout(60)
        self.port = self.listener.getsockname()[1]
        self.behaviour, self.handshake = behaviour, handshake
        self.failure = None
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        try:
            sock, _ = self.listener.accept()
            sock.settimeout(60)
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            self.sock, self.into, self.out = sock, ssl.MemoryBIO(), ssl.MemoryBIO()
            self.tls = self.context.wrap_bio(self.into, self.out, server_side=True)
            with sock:
                if self.handshake:
                    self._call(self.tls.do_handshake)
                self.behaviour(self)
        except Exception as error:  # reported by finish()
            self.failure = repr(error)
        finally:
            self.listener.close()

    def _call(self, operation, *args):
        while True:
            try:
                result = operation(*args)
                self.flush()
                return result
            except ssl.SSLWantReadError:
                self.flush()
                data = self.sock.recv(65536)
                if not data:
                    raise EOFError("client closed")
                self.into.write(data)

    def flush(self, piece=None):
        """Sends what TLS wrote, in pieces of piece bytes when given."""
        data = self.out.read()
        step = piece or len(data) or 1
        for start in range(0, len(data), step):
            self.sock.sendall(data[start:start + step])

    def read(self, count):
        data = b""
        while len(data) < count:
            data += self._call(self.tls.read, count - len(data))
        return data

    def finish(self):
        self.thread.join(60)
        assert self.failure is None, "TLS peer failed: %s" % self.failure


def run_client(rig, *args):
    done = rig.wine([rig.testbin / "tls_client.exe"] + [str(a) for a in args],
                    cwd=str(rig.install_source), timeout=120)
    return done.stdout.replace("\r", "")


def echo_mebibyte(conn):
    assert conn.read(MEBIBYTE) == pattern(MEBIBYTE), "the server received other bytes"
    conn.tls.write(pattern(MEBIBYTE))
    conn.flush(piece=1000)  # records reach the client in many small pieces
    assert conn._call(conn.tls.read, 1) == b"", "more data after the echo"  # close_notify


def hello_then_cut(conn):
    conn.tls.write(b"hello")
    conn.flush()
    conn.tls.write(b"x" * 100)
    record = conn.out.read()
    conn.sock.sendall(record[:len(record) // 2])


def hello_then_close_notify(conn):
    conn.tls.write(b"hello")
    conn.flush()
    try:
        conn.tls.unwrap()
    except ssl.SSLWantReadError:
        pass
    conn.flush()


def hello_then_plain_close(conn):
    conn.tls.write(b"hello")
    conn.flush()


def close_at_once(conn):
    pass


def test_tls_session_moves_a_mebibyte_each_way(rig):
    with tempfile.TemporaryDirectory() as work:
        folder = make_certificates(work)
        ca = harness.to_windows(folder / "ca.pem")
        assert "trusted 1" in run_client(rig, "trust", ca)
        try:
            peer = Peer(folder, "server", echo_mebibyte)
            out = run_client(rig, "connect", peer.port, "--host", "localhost", "--echo", MEBIBYTE)
            peer.finish()
        finally:
            run_client(rig, "untrust", ca)
        assert "init 1\nhandshake ok\necho ok %d pending-seen 1\n" % MEBIBYTE == out, out


# How a session ends, as recv reports it: behaviour, whether the handshake happens, the
# client's last line.
ENDINGS = (
    (hello_then_cut, True, "read 5 bytes then error 10054"),
    (hello_then_close_notify, True, "read 5 bytes then closed"),
    (hello_then_plain_close, True, "read 5 bytes then closed"),
    (close_at_once, False, "handshake failed: connection closed during the handshake"),
)

# The server's certificate checks: certificate, host name given to the library (None: the
# call without one), whether the test CA is trusted, the handshake line.
CERTIFICATE_CASES = (
    ("server", "localhost", True, "handshake ok"),
    ("server", None, True, "handshake ok"),
    ("server", "mail.example.org", True,
     "handshake failed: host name does not match the certificate"),
    ("server", "localhost", False, "handshake failed: server certificate not trusted: "
                                   "no chain to a trusted authority could be built (0x800B010A)"),
    ("self", "localhost", True, "handshake failed: server certificate not trusted: "
                                "the certificate is self-signed (0x800B0109)"),
)


def test_tls_session_ends_as_recv_does(rig):
    with tempfile.TemporaryDirectory() as work:
        folder = make_certificates(work)
        ca = harness.to_windows(folder / "ca.pem")
        run_client(rig, "trust", ca)
        try:
            for behaviour, handshake, expected in ENDINGS:
                peer = Peer(folder, "server", behaviour, handshake=handshake)
                out = run_client(rig, "connect", peer.port, "--host", "localhost", "--read")
                peer.finish()
                assert out.splitlines()[-1] == expected, (behaviour.__name__, out)
        finally:
            run_client(rig, "untrust", ca)


def test_tls_server_certificate_checks(rig):
    with tempfile.TemporaryDirectory() as work:
        folder = make_certificates(work)
        ca = harness.to_windows(folder / "ca.pem")
        try:
            for certificate, host, trusted, expected in CERTIFICATE_CASES:
                run_client(rig, "trust" if trusted else "untrust", ca)
                peer = Peer(folder, certificate, close_at_once)
                args = ["connect", peer.port] + (["--host", host] if host else [])
                out = run_client(rig, *args)
                peer.finish()
                assert out.splitlines()[1:2] == [expected], (certificate, host, trusted, out)
        finally:
            run_client(rig, "untrust", ca)


def refuse_with_alert(conn):
    """Answers the ClientHello with a fatal protocol_version alert and waits for the client
    to hang up."""
    conn.sock.recv(4096)
    conn.sock.sendall(b"\x15\x03\x03\x00\x02\x02\x46")
    while conn.sock.recv(4096):
        pass


def test_tls_handshake_failure_is_named(rig):
    with tempfile.TemporaryDirectory() as work:
        folder = make_certificates(work)
        peer = Peer(folder, "server", refuse_with_alert, handshake=False)
        out = run_client(rig, "connect", peer.port, "--host", "localhost")
        peer.finish()
        assert out.splitlines()[1] == ("handshake failed: TLS handshake failed: the TLS provider failed or the "
                                       "peer refused the handshake (0x80090304)"), out


# Wine 8's Schannel has no server side: AcceptSecurityContext is not supported there.
NO_SERVER_SIDE = "accept failed: TLS handshake failed: the TLS provider does not support this (0x80090302)"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def test_tls_server_certificate_and_session(rig):
    with tempfile.TemporaryDirectory() as work:
        log = Path(work) / "serve.log"
        port = free_port()
        with open(str(log), "w") as out:
            server = subprocess.Popen(
                ["wine", str(rig.testbin / "tls_client.exe"), "serve", str(port), "--generate", "localhost"],
                env=rig.env, cwd=str(rig.install_source), stdin=subprocess.DEVNULL, stdout=out,
                stderr=subprocess.DEVNULL)
        rig.started.append(server)
        harness.wait_for(lambda: "listening" in log.read_text(), timeout=60, what="tls_client listening")
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
        context.check_hostname = False
        context.verify_mode = ssl.CERT_NONE
        echoed = None
        try:
            with context.wrap_socket(socket.create_connection(("127.0.0.1", port), timeout=30)) as tls:
                tls.sendall(b"ping")
                echoed = tls.recv(4)
        except (ssl.SSLError, OSError):
            pass
        server.wait(30)
        lines = log.read_text().replace("\r", "").splitlines()
        assert lines[:4] == ["init 1", "generate 1", "certificates 1 0", "listening"], lines
        assert lines[4] in ("accept ok", NO_SERVER_SIDE), lines
        if lines[4] == "accept ok":
            assert echoed == b"ping", lines


def test_tls_handshake_with_openssl_s_server(rig):
    # The reference peer: openssl's own server, TLS 1.2, a certificate of the trusted test CA.
    with tempfile.TemporaryDirectory() as work:
        folder = make_certificates(work)
        ca = harness.to_windows(folder / "ca.pem")
        port = free_port()
        server = subprocess.Popen(["openssl", "s_server", "-accept", "127.0.0.1:%d" % port, "-tls1_2",
                                   "-cert", str(folder / "server.pem"), "-key", str(folder / "server.key"),
                                   "-rev", "-quiet"],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        try:
            harness.wait_for(lambda: _listening(port), what="openssl s_server listening")
            assert "trusted 1" in run_client(rig, "trust", ca)
            out = run_client(rig, "connect", port, "--host", "localhost")
        finally:
            run_client(rig, "untrust", ca)
            server.kill()
            server.wait()
        assert "init 1\nhandshake ok\n" == out, out


def _listening(port):
    with socket.socket() as probe:
        return probe.connect_ex(("127.0.0.1", port)) == 0
