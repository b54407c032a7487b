"""TLSLINK.DLL (the staged build, copied beside tls_client.exe: add-ons are loaded only from
the program's own folder), driven by testing/tls_client against TLS peers
written here with Python's ssl module over plain sockets, so that each peer decides exactly
which bytes go out when: a mebibyte each way in small pieces, a connection cut inside a
record, close_notify, and the certificate checks against certificates made with openssl."""

import datetime
import socket
import ssl
import subprocess
import tempfile
import threading
import time
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

    def __init__(self, folder, certificate, behaviour, handshake=True, minimum=None, maximum=None):
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        # Old protocol versions and MD5 or SHA-1 certificates are served when a case asks.
        self.context.set_ciphers("DEFAULT:@SECLEVEL=0")
        if minimum:
            self.context.minimum_version = minimum
        if maximum:
            self.context.maximum_version = maximum
        self.context.load_cert_chain(str(folder / (certificate + ".pem")),
                                     str(folder / (certificate + ".key")))
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.listener.settimeout(60)
        self.port = self.listener.getsockname()[1]
        self.behaviour, self.handshake = behaviour, handshake
        self.failure = None
        self.client_done = threading.Event()
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
        self.client_done.set()
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


def hello_then_partial_record(conn):
    """Sends "hello", then half of the next record, and waits for the client to give up."""
    hello_then_cut(conn)
    wait_for_client_to_close(conn)


def wait_for_client_to_close(conn):
    while conn.sock.recv(4096):
        pass


def never_read(conn):
    """Reads nothing until the client has gone."""
    conn.client_done.wait(60)


def answer_in_clear(conn):
    conn.sock.recv(4096)
    conn.sock.sendall(b"220 mail.example.org ESMTP ready\r\n")
    wait_for_client_to_close(conn)


def silent(conn):
    conn.sock.recv(4096)
    wait_for_client_to_close(conn)


def start_of_a_record(conn):
    conn.sock.recv(4096)
    conn.sock.sendall(b"\x16\x03\x03\x00\x40" + b"\x02" * 10)
    wait_for_client_to_close(conn)


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


# How a session ends, as recv and send report it: behaviour, whether the handshake happens,
# what the client does, its last line.
READ = ("--read",)
ENDINGS = (
    (hello_then_cut, True, READ, "read 5 bytes then error 10054"),
    (hello_then_close_notify, True, READ, "read 5 bytes then closed"),
    (hello_then_plain_close, True, READ, "read 5 bytes then closed"),
    (hello_then_partial_record, True, READ, "read 5 bytes then error 10060"),
    # 32 MiB fill every buffer between the two: the send waits for the peer, within its bound.
    (never_read, True, ("--echo", 32 * MEBIBYTE), "echo failed: send error 10060"),
    (close_at_once, False, READ, "handshake failed: connection closed during the handshake"),
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
            for behaviour, handshake, options, expected in ENDINGS:
                peer = Peer(folder, "server", behaviour, handshake=handshake)
                out = run_client(rig, "connect", peer.port, "--host", "localhost", "--timeout", 1500, *options)
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
    """Answers the ClientHello with a fatal handshake_failure alert and waits for the client
    to hang up."""
    conn.sock.recv(4096)
    conn.sock.sendall(b"\x15\x03\x03\x00\x02\x02\x28")
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


# --- The refusal table: a server chain for every way a chain can be wrong ---

TABLE_ROOT = "Qel TLS Table Root"
SERVER_EXT = "subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n"
CA_EXT = "basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n"
CA_CONFIG = """[ca]
default_ca = table
[table]
database = {0}/index.txt
new_certs_dir = {0}
serial = {0}/serial
policy = anything
unique_subject = no
[anything]
commonName = supplied
"""


class ChainMaker:
    """Certificates made with openssl ca (which sets any validity period): each name gets
    NAME.pem and NAME.key; chain() writes what a server presents, the server's own first."""

    def __init__(self, folder):
        self.f = Path(folder)
        (self.f / "index.txt").write_text("")
        (self.f / "serial").write_text("1000\n")
        (self.f / "ca.cnf").write_text(CA_CONFIG.format(self.f))
        openssl("genrsa", "-out", self.f / "shared.key", "2048")

    def make(self, name, issuer, extensions, days=(-1, 2), digest="sha256", own_key=True):
        """Signs name by issuer (None: self-signed) for the days from today in days."""
        key = self.f / (name + ".key")
        if own_key:
            openssl("genrsa", "-out", key, "2048")
        else:
            key.write_bytes((self.f / "shared.key").read_bytes())
        (self.f / (name + ".ext")).write_text(extensions)
        openssl("req", "-new", "-key", key, "-subj", "/CN=" + name, "-out", self.f / (name + ".csr"))
        today = datetime.datetime.now(datetime.timezone.utc)
        start, end = (today + datetime.timedelta(days=d) for d in days)
        signer = ["-selfsign", "-keyfile", key] if issuer is None else [
            "-cert", self.f / (issuer + ".pem"), "-keyfile", self.f / (issuer + ".key")]
        openssl("ca", "-batch", "-notext", "-config", self.f / "ca.cnf", "-in", self.f / (name + ".csr"),
                "-out", self.f / (name + ".pem"), "-md", digest, "-extfile", self.f / (name + ".ext"),
                "-startdate", start.strftime("%Y%m%d%H%M%SZ"), "-enddate", end.strftime("%Y%m%d%H%M%SZ"),
                *signer)

    def server(self, name, issuer, extensions=SERVER_EXT, **options):
        self.make(name, issuer, extensions, own_key=False, **options)

    def chain(self, row, *names):
        (self.f / (row + ".pem")).write_text("".join((self.f / (n + ".pem")).read_text() for n in names))
        (self.f / (row + ".key")).write_bytes((self.f / (names[0] + ".key")).read_bytes())
        return row


def make_table_chains(folder):
    m = ChainMaker(folder)
    # The trusted root signs itself with SHA-1: a root's self-signature is no refusal.
    m.make(TABLE_ROOT, None, CA_EXT, digest="sha1")
    m.make("Other Root", None, CA_EXT)
    m.make("Issuing CA", TABLE_ROOT, CA_EXT)
    m.server("Mail Server", "Issuing CA")
    m.make("Not A CA", TABLE_ROOT, "basicConstraints=critical,CA:FALSE\nkeyUsage=critical,keyCertSign\n")
    m.make("No Constraints", TABLE_ROOT, "keyUsage=critical,keyCertSign,cRLSign\n")
    m.make("Expired CA", TABLE_ROOT, CA_EXT, days=(-30, -2))
    m.make("Future CA", TABLE_ROOT, CA_EXT, days=(5, 30))
    m.make("Example CA", TABLE_ROOT, CA_EXT + "nameConstraints=critical,permitted;DNS:example.test\n")
    for name, issuer, options in (
            ("Under End Entity", "Mail Server", {}), ("Under Not A CA", "Not A CA", {}),
            ("Under No Constraints", "No Constraints", {}), ("Expired", "Issuing CA", {"days": (-30, -2)}),
            ("Future", "Issuing CA", {"days": (5, 30)}), ("Under Expired CA", "Expired CA", {}),
            ("Under Future CA", "Future CA", {}), ("Under Other Root", "Other Root", {}),
            ("Outside Example", "Example CA", {}),
            ("Any Use", "Issuing CA", {"extensions": SERVER_EXT.replace("extendedKeyUsage=serverAuth\n", "")}),
            ("MD5 Signed", "Issuing CA", {"digest": "md5"}), ("SHA-1 Signed", "Issuing CA", {"digest": "sha1"}),
            ("Client Only", "Issuing CA", {"extensions": SERVER_EXT.replace("serverAuth", "clientAuth")}),
            ("Wildcard", "Issuing CA", {"extensions": SERVER_EXT.replace("DNS:localhost", "DNS:*.example.test")})):
        m.server(name, issuer, **options)
    return m


NOT_TRUSTED = "handshake failed: server certificate not trusted: "
# One row per case: the chain the server presents, the host name given, the handshake line.
# Good rows then echo through the session; bad rows must end in the handshake.
CHAIN_ROWS = (
    ("good chain", ("Mail Server", "Issuing CA"), "localhost", "handshake ok"),
    ("good wildcard", ("Wildcard", "Issuing CA"), "mail.example.test", "handshake ok"),
    ("good without extended key usage", ("Any Use", "Issuing CA"), "localhost", "handshake ok"),
    ("end entity as issuer", ("Under End Entity", "Mail Server", "Issuing CA"), "localhost",
     NOT_TRUSTED + "an issuing certificate is not a certification authority (0x80096019)"),
    ("CA:FALSE intermediate", ("Under Not A CA", "Not A CA"), "localhost",
     NOT_TRUSTED + "an issuing certificate is not a certification authority (0x80096019)"),
    ("intermediate without basicConstraints", ("Under No Constraints", "No Constraints"), "localhost",
     NOT_TRUSTED + "an issuing certificate is not a certification authority (0x80096019)"),
    ("expired server", ("Expired", "Issuing CA"), "localhost",
     NOT_TRUSTED + "a certificate of the chain has expired or is not valid yet (0x800B0101)"),
    ("server not valid yet", ("Future", "Issuing CA"), "localhost",
     NOT_TRUSTED + "a certificate of the chain has expired or is not valid yet (0x800B0101)"),
    ("expired intermediate", ("Under Expired CA", "Expired CA"), "localhost",
     NOT_TRUSTED + "a certificate of the chain has expired or is not valid yet (0x800B0101)"),
    ("intermediate not valid yet", ("Under Future CA", "Future CA"), "localhost",
     NOT_TRUSTED + "a certificate of the chain has expired or is not valid yet (0x800B0101)"),
    ("name outside the issuer's constraints", ("Outside Example", "Example CA"), "localhost",
     NOT_TRUSTED + "a name lies outside what the issuing authority may certify (0x800B0114)"),
    ("wrong host", ("Mail Server", "Issuing CA"), "mail.example.org",
     "handshake failed: host name does not match the certificate"),
    ("wildcard across labels", ("Wildcard", "Issuing CA"), "a.b.example.test",
     "handshake failed: host name does not match the certificate"),
    ("missing intermediate", ("Mail Server",), "localhost",
     NOT_TRUSTED + "no chain to a trusted authority could be built (0x800B010A)"),
    ("untrusted root", ("Under Other Root", "Other Root"), "localhost",
     NOT_TRUSTED + "the issuing authority is not trusted (0x800B0109)"),
    ("MD5", ("MD5 Signed", "Issuing CA"), "localhost",
     NOT_TRUSTED + "a certificate of the chain is signed with MD5 or SHA-1 (0x80090008)"),
    ("SHA-1", ("SHA-1 Signed", "Issuing CA"), "localhost",
     NOT_TRUSTED + "a certificate of the chain is signed with MD5 or SHA-1 (0x80090008)"),
    ("clientAuth only", ("Client Only", "Issuing CA"), "localhost",
     NOT_TRUSTED + "the certificate is not meant for servers (0x800B0110)"),
)

# Servers that do not complete a TLS 1.2 handshake: behaviour (None: a TLS server of the given
# highest version), the handshake line; with --timeout 1500 each ends within 10 s, Wine's
# start included.
OLD_PROTOCOL = "handshake failed: TLS handshake failed: the server does not offer TLS 1.2 or later"
PEER_ROWS = (
    ("TLS 1.0 only", None, ssl.TLSVersion.TLSv1, OLD_PROTOCOL),
    ("TLS 1.1 only", None, ssl.TLSVersion.TLSv1_1, OLD_PROTOCOL),
    ("non-TLS bytes", answer_in_clear, None, "handshake failed: the server did not answer with TLS"),
    ("silent", silent, None, "handshake failed: the server did not complete the TLS handshake within 1.5 s"),
    ("partial record", start_of_a_record, None,
     "handshake failed: the server did not complete the TLS handshake within 1.5 s"),
)


def echo_four(conn):
    """Echoes the 4 bytes of a client that accepted the chain; conn.received keeps what came."""
    conn.received = b""
    try:
        conn.received = conn.read(4)
        conn.tls.write(conn.received)
        conn.flush()
    except (OSError, EOFError, ssl.SSLError):
        pass


def test_tls_refuses_every_bad_chain(rig):
    with tempfile.TemporaryDirectory() as work:
        maker = make_table_chains(work)
        root = harness.to_windows(maker.f / (TABLE_ROOT + ".pem"))
        assert "trusted 1" in run_client(rig, "trust", root)
        failures = []
        try:
            for row, names, host, expected in CHAIN_ROWS:
                peer = Peer(maker.f, maker.chain(row, *names), echo_four)
                out = run_client(rig, "connect", peer.port, "--host", host, "--timeout", 5000, "--echo", 4)
                peer.thread.join(30)
                good = expected == "handshake ok"
                wanted = ["init 1", expected] + (["echo ok 4 pending-seen 0"] if good else [])
                if out.splitlines() != wanted or (getattr(peer, "received", b"") != b"") == (not good):
                    failures.append((row, out))
        finally:
            run_client(rig, "untrust", root)
        assert not failures, failures


def test_tls_handshake_ends_with_a_peer_that_is_no_tls_server(rig):
    with tempfile.TemporaryDirectory() as work:
        folder = make_certificates(work)
        failures = []
        for row, behaviour, version, expected in PEER_ROWS:
            peer = Peer(folder, "server", behaviour or close_at_once, handshake=behaviour is None,
                        minimum=version, maximum=version)
            started = time.monotonic()
            out = run_client(rig, "connect", peer.port, "--host", "localhost", "--timeout", 1500)
            took = time.monotonic() - started
            peer.thread.join(30)
            line = out.splitlines()[1] if len(out.splitlines()) > 1 else out
            if line != expected or took > 10:
                failures.append((row, line, round(took, 1)))
        assert not failures, failures
