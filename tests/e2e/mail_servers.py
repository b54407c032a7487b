"""Mail servers for the tests of the mail login tests and the E-Mail page, on 127.0.0.1 and
[::1] only, started and ended by the test:

    with MailServers(rig, folder) as servers:
        servers.imap          # "localhost:port"  IMAP with STARTTLS (dovecot)
        servers.imap_tls      # IMAP over TLS from the first byte
        servers.pop3, servers.pop3_tls
        servers.smtp_starttls # SMTP with AUTH LOGIN and STARTTLS (aiosmtpd)
        servers.smtp_tls      # SMTP over TLS from the first byte
        servers.smtp_self_signed  # as smtp_tls, with a self-signed certificate
        servers.smtp_bad_chain    # as smtp_tls, its certificate issued by an end-entity certificate
        servers.imap_port     # the bare port of servers.imap (for "[::1]:port")
        servers.fake(greeting=..., answers=[...]) -> Fake, a scripted server (see Fake)

Every real server knows the users of USERS; the test CA that signed their certificates
(for "localhost") is trusted by the rig's Wine prefix while the servers run (through
tls_client.exe), so the program's TLS checks pass. dovecot runs under its own
configuration in folder, as an unprivileged user; aiosmtpd runs under Debian's own Python
(python3-aiosmtpd), since the one on PATH may not be Debian's.
"""

import os
import pwd
import grp
import shutil
import socket
import subprocess
import tempfile
import threading
import time
from pathlib import Path

import harness

# user -> password; QUOTED_USER's password holds '"' and '\'.
PLAIN_USER, PLAIN_PASSWORD = "anna", "Secret-1"
QUOTED_USER, QUOTED_PASSWORD = "quoter", 'pa"ss\\word'
USERS = {PLAIN_USER: PLAIN_PASSWORD, QUOTED_USER: QUOTED_PASSWORD}
TEST_CA = "Qel Mail Test CA"
DEBIAN_PYTHON = "/usr/bin/python3"


def openssl(*args):
    subprocess.run(["openssl"] + [str(a) for a in args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def make_certificates(folder):
    """ca.pem, server.pem (signed by the CA for localhost) and self.pem (self-signed), each
    with its .key."""
    f = Path(folder)
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=" + TEST_CA,
            "-keyout", f / "ca.key", "-out", f / "ca.pem",
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    (f / "server.ext").write_text("subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n"
                                  "basicConstraints=CA:FALSE\n")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
            "-keyout", f / "server.key", "-out", f / "server.csr")
    openssl("x509", "-req", "-in", f / "server.csr", "-CA", f / "ca.pem", "-CAkey", f / "ca.key",
            "-CAcreateserial", "-days", "2", "-extfile", f / "server.ext", "-out", f / "server.pem")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=localhost",
            "-addext", "subjectAltName=DNS:localhost", "-keyout", f / "self.key", "-out", f / "self.pem")
    # badchain.pem: a localhost certificate issued by server.pem, an end-entity certificate
    # (CA:FALSE) that chains to the trusted CA; sent with its issuer.
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
            "-keyout", f / "badchain.key", "-out", f / "badchain.csr")
    openssl("x509", "-req", "-in", f / "badchain.csr", "-CA", f / "server.pem", "-CAkey", f / "server.key",
            "-CAcreateserial", "-days", "2", "-extfile", f / "server.ext", "-out", f / "badchain.leaf")
    (f / "badchain.pem").write_bytes((f / "badchain.leaf").read_bytes() + (f / "server.pem").read_bytes())


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def listening(port, family=socket.AF_INET, host="127.0.0.1"):
    with socket.socket(family) as probe:
        return probe.connect_ex((host, port)) == 0


DOVECOT_CONF = """\
base_dir = {dir}/run
state_dir = {dir}/state
log_path = {dir}/dovecot.log
protocols = imap pop3
listen = 127.0.0.1, ::1
ssl = yes
ssl_cert = <{dir}/server.pem
ssl_key = <{dir}/server.key
ssl_min_protocol = TLSv1.2
disable_plaintext_auth = no
auth_mechanisms = plain login
default_internal_user = {user}
default_internal_group = {group}
default_login_user = {user}
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {dir}/users
}}
userdb {{
  driver = static
  args = uid={uid} gid={gid} home={dir}/home/%u
}}
mail_location = maildir:~/Maildir
service anvil {{
  chroot =
}}
service imap-login {{
  chroot =
  inet_listener imap {{
    port = {imap}
  }}
  inet_listener imaps {{
    port = {imaps}
    ssl = yes
  }}
}}
service pop3-login {{
  chroot =
  inet_listener pop3 {{
    port = {pop3}
  }}
  inet_listener pop3s {{
    port = {pop3s}
    ssl = yes
  }}
}}
"""

# aiosmtpd under Debian's Python: argv = folder port certificate implicit(0/1).
SMTP_SERVER = r"""
import asyncio, ssl, sys, time
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword
folder, port, certificate, implicit = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4] == "1"
users = {}
for line in open(folder + "/users", encoding="utf-8"):
    name, _, rest = line.rstrip("\n").partition(":{PLAIN}")
    users[name] = rest[:rest.index("::::::")]
context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
context.load_cert_chain(folder + "/" + certificate + ".pem", folder + "/" + certificate + ".key")
def authenticator(server, session, envelope, mechanism, data):
    ok = isinstance(data, LoginPassword) and users.get(data.login.decode()) == data.password.decode()
    return AuthResult(success=ok, handled=False)
class Sink:
    async def handle_DATA(self, server, session, envelope):
        return "250 OK"
options = dict(authenticator=authenticator, auth_require_tls=False, hostname="127.0.0.1", port=port,
               server_hostname="localhost")
if implicit:
    options["ssl_context"] = context
else:
    options["tls_context"] = context
controller = Controller(Sink(), **options)
controller.start()
print("ready", flush=True)
sys.stdin.read()
controller.stop()
"""


class MailServers:
    """The real servers (see the module text), each at "localhost:port"."""

    def __init__(self, rig, folder, trust=True):
        self.rig = rig
        self.folder = Path(folder) / "mail-servers"
        self.trust = trust
        self.processes = []
        self.fakes = []
        self.trusted = False
        self.dovecot_dir = None

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def _start(self):
        f = self.folder
        f.mkdir(parents=True, exist_ok=True)
        make_certificates(f)
        (f / "users").write_text("".join("%s:{PLAIN}%s::::::\n" % item for item in USERS.items()))
        if self.trust:
            self._trust(True)
        self._start_dovecot()
        self.smtp_starttls = self._start_smtp("server", False)
        self.smtp_tls = self._start_smtp("server", True)
        self.smtp_self_signed = self._start_smtp("self", True)
        self.smtp_bad_chain = self._start_smtp("badchain", True)

    def _trust(self, add):
        done = self.rig.wine([self.rig.testbin / "tls_client.exe", "trust" if add else "untrust",
                              harness.to_windows(self.folder / "ca.pem")],
                             cwd=str(self.rig.install_source), timeout=60)
        self.trusted = add and "trusted 1" in done.stdout
        if add and not self.trusted:
            raise RuntimeError("the test CA could not be trusted: %r" % done.stdout)

    def _start_dovecot(self):
        # dovecot refuses to run its login processes as root: run it all as nobody then, in
        # a folder of its own under /tmp that nobody can reach.
        as_root = os.getuid() == 0
        account = pwd.getpwnam("nobody") if as_root else pwd.getpwuid(os.getuid())
        group = grp.getgrgid(account.pw_gid).gr_name
        f = self.dovecot_dir = Path(tempfile.mkdtemp(prefix="qel-dovecot-"))
        for name in ("server.pem", "server.key", "users"):
            shutil.copy2(str(self.folder / name), str(f / name))
        ports = dict(imap=free_port(), imaps=free_port(), pop3=free_port(), pop3s=free_port())
        for sub in ("run", "state", "home"):
            (f / sub).mkdir()
        (f / "dovecot.conf").write_text(DOVECOT_CONF.format(
            dir=f, user=account.pw_name, group=group, uid=account.pw_uid, gid=account.pw_gid, **ports))
        if as_root:
            os.chmod(str(f), 0o755)
            for path in [f] + list(f.rglob("*")):
                os.chown(str(path), account.pw_uid, account.pw_gid)

        def drop():
            if as_root:
                os.setgid(account.pw_gid)
                os.setuid(account.pw_uid)
        process = subprocess.Popen(["/usr/sbin/dovecot", "-F", "-c", str(f / "dovecot.conf")],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   preexec_fn=drop)
        self.processes.append(process)
        harness.wait_for(lambda: all(listening(p) for p in ports.values()), timeout=20,
                         what="dovecot listening")
        self.imap_port = ports["imap"]
        self.imap, self.imap_tls = "localhost:%d" % ports["imap"], "localhost:%d" % ports["imaps"]
        self.pop3, self.pop3_tls = "localhost:%d" % ports["pop3"], "localhost:%d" % ports["pop3s"]

    def _start_smtp(self, certificate, implicit):
        port = free_port()
        process = subprocess.Popen([DEBIAN_PYTHON, "-c", SMTP_SERVER, str(self.folder), str(port), certificate,
                                    "1" if implicit else "0"],
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.processes.append(process)
        if process.stdout.readline().strip() != b"ready":
            raise RuntimeError("aiosmtpd did not start")
        return "localhost:%d" % port

    def fake(self, **options):
        """A scripted server for what real servers will not do (see Fake); ended with the rig."""
        fake = Fake(**options)
        self.fakes.append(fake)
        return fake

    def log(self):
        path = self.dovecot_dir / "dovecot.log" if self.dovecot_dir else None
        return path.read_text(errors="replace") if path and path.exists() else ""

    def close(self):
        for fake in self.fakes:
            fake.close()
        for process in self.processes:
            if process.poll() is None:
                process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self.processes = []
        if self.dovecot_dir:
            shutil.rmtree(str(self.dovecot_dir), ignore_errors=True)
            self.dovecot_dir = None
        if self.trusted:
            self._trust(False)


GARBAGE = b"\x16\x03\x03\x00\x10" + b"not a TLS record" * 8


class Fake:
    """A scripted mail server on 127.0.0.1 that plays the same script to every connection:
    greeting (bytes, or None for none) after greeting_delay seconds, then answers[i] to the
    i-th line received (None closes the connection at that point), each sent in pieces of
    chunk bytes (0: whole), pause seconds apart; endless=True sends 'x' for ever after the
    greeting; on_any, when given, answers the first bytes received, whatever they are (a TLS
    listener that answers the handshake with garbage: on_any=GARBAGE), and then only listens.
    received holds every line received, in order, raw every byte; address is
    "127.0.0.1:port"."""

    def __init__(self, greeting=None, answers=(), greeting_delay=0, chunk=0, pause=0, endless=False, on_any=None):
        self.greeting, self.answers, self.on_any = greeting, list(answers), on_any
        self.greeting_delay, self.chunk, self.pause, self.endless = greeting_delay, chunk, pause, endless
        self.received = []
        self.raw = b""
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(4)
        self.port = self.listener.getsockname()[1]
        self.address = "127.0.0.1:%d" % self.port
        self.closed = False
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while not self.closed:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._talk, args=(conn,), daemon=True).start()

    def _send(self, conn, data):
        step = self.chunk or len(data) or 1
        for start in range(0, len(data), step):
            if start and self.pause:
                time.sleep(self.pause)
            conn.sendall(data[start:start + step])

    def _talk(self, conn):
        conn.settimeout(60)
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            with conn:
                time.sleep(self.greeting_delay)
                if self.greeting is not None:
                    self._send(conn, self.greeting)
                while self.endless and not self.closed:
                    conn.sendall(b"x" * 65536)
                pending, answered = b"", 0
                while True:
                    data = conn.recv(65536)
                    if not data:
                        return
                    self.raw += data
                    if self.on_any is not None:
                        if not answered:
                            self._send(conn, self.on_any)
                            answered = 1
                        continue
                    pending += data
                    while b"\n" in pending:
                        line, _, pending = pending.partition(b"\n")
                        self.received.append(line.rstrip(b"\r").decode("latin-1"))
                        if answered >= len(self.answers):
                            continue
                        answer = self.answers[answered]
                        answered += 1
                        if answer is None:
                            return
                        self._send(conn, answer)
        except OSError:
            pass

    def close(self):
        self.closed = True
        self.listener.close()
