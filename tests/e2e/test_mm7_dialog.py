"""The "Configure MM7 or PHP Receiver" dialog, opened on its own by mm7_host.exe: what it
shows of a stored connection, what OK writes to VASPOUT\\qelsmslitemm7\\VASP.INI after the
server check against real HTTP and HTTPS servers on 127.0.0.1 and [::1], and the refusals.
The rules behind each value and message are tested natively (mm7_settings_test.cpp); here
the controls, the boxes and the sockets and certificates of the platform."""

import http.server
import shutil
import socket
import ssl
import subprocess
import tempfile
import threading
from pathlib import Path

from harness import to_windows, wait_for
from program import CAPTION, IDCANCEL, IDOK, is_checked, write_ini

TITLE = "Configure MM7 or PHP Receiver"
VARIATION, URL, USER, VASP_ID, VERSION, SCHEMA, STRIP = 196, 124, 104, 150, 178, 180, 181
MM7_ONLY = (104, 108, 150, 152, 160, 178, 180, 181)  # hidden for the PHP upload
LOCATION = "http://www.3gpp.org/ftp/Specs/archive/23_series/23.140/schema/"
TEST_CA = "Qel MM7 Test CA"
TLS_REFUSAL = "Unable to negotiate SSL/TLS connection with server %s:%d\r\n\r\n"


def openssl(*args):
    subprocess.run(["openssl"] + [str(a) for a in args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def make_certificates(folder):
    """ca.pem, server.pem signed by it for localhost and ::1, self.pem, self-signed for
    localhost, and forged.pem for localhost signed by server.pem (an end entity, no
    authority), presented with it. Wine's certificate check
    matches the host only against DNS names, so ::1 is given as one beside the address."""
    f = Path(folder)
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=" + TEST_CA,
            "-keyout", f / "ca.key", "-out", f / "ca.pem",
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    (f / "server.ext").write_text("subjectAltName=DNS:localhost,DNS:::1,IP:::1\nextendedKeyUsage=serverAuth\n"
                                  "basicConstraints=CA:FALSE\n")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
            "-keyout", f / "server.key", "-out", f / "server.csr")
    openssl("x509", "-req", "-in", f / "server.csr", "-CA", f / "ca.pem", "-CAkey", f / "ca.key",
            "-CAcreateserial", "-days", "2", "-extfile", f / "server.ext", "-out", f / "server.pem")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=localhost",
            "-addext", "subjectAltName=DNS:localhost", "-keyout", f / "self.key", "-out", f / "self.pem")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=forged", "-keyout", f / "forged.key",
            "-out", f / "forged.csr")
    openssl("x509", "-req", "-in", f / "forged.csr", "-CA", f / "server.pem", "-CAkey", f / "server.key",
            "-CAcreateserial", "-days", "2", "-extfile", f / "server.ext", "-out", f / "forged.pem")
    with open(f / "forged.pem", "a") as chain:
        chain.write((f / "server.pem").read_text())
    return f


class Quiet(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass


class Server:
    """An HTTP server (HTTPS with a certificate) on one address, counting connections; or,
    silent, a listener that accepts and never answers."""

    def __init__(self, host, certificate=None, silent=False):
        family = socket.AF_INET6 if ":" in host else socket.AF_INET
        server_class = type("S", (http.server.ThreadingHTTPServer,), {"address_family": family})
        self.httpd = server_class((host, 0), Quiet)
        self.port = self.httpd.server_address[1]
        self.connections = 0
        if certificate:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(str(certificate.with_suffix(".pem")), str(certificate.with_suffix(".key")))
            self.httpd.socket = context.wrap_socket(self.httpd.socket, server_side=True,
                                                    do_handshake_on_connect=False)
        original = self.httpd.get_request

        def counted():
            request = original()
            self.connections += 1
            if silent:
                request[0].recv(65536)  # the ClientHello, left unanswered until the client gives up
            elif certificate:
                try:
                    request[0].do_handshake()
                except (ssl.SSLError, OSError):
                    pass
            return request
        self.httpd.get_request = counted
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class Dialog:
    """mm7_host.exe showing the dialog over the installation's data folder."""

    def __init__(self, rig, env):
        self.rig = rig
        # Beside the installation's TLSLINK.DLL: add-ons come only from the program's folder.
        host = env.install / "mm7_host.exe"
        shutil.copy2(str(rig.testbin / "mm7_host.exe"), str(host))
        self.proc = rig.wine_start([host, "--handshake-timeout-ms", "1500"], cwd=str(env.install))
        self.hwnd = rig.find(TITLE, timeout=30)
        assert self.hwnd, "the dialog did not open"

    def controls(self):
        return {c.id: c for c in self.rig.children(self.hwnd)}

    def choose(self, id, index):
        """Selects entry index of a drop-down list with the keyboard, as a person would."""
        combo = self.rig.control(self.hwnd, id)
        self.rig.key(combo, "0x24")  # Home
        for _ in range(index):
            self.rig.key(combo, "0x28")  # Down

    def ok_refused(self, url):
        """Types url, presses OK and returns the text of the box that refuses it."""
        self.rig.settext(self.hwnd, URL, url)
        self.rig.click(self.hwnd, id=IDOK)
        box = self.rig.box(timeout=30, click="OK")
        assert (box.caption, box.icon, box.buttons) == (CAPTION, "error", ["OK"]), box
        assert self.proc.poll() is None, "the dialog closed after a refusal"
        return box.text

    def ok(self, url):
        self.rig.settext(self.hwnd, URL, url)
        self.rig.click(self.hwnd, id=IDOK)
        wait_for(lambda: self.proc.poll() is not None or self.rig.find_box(timeout=0.5), timeout=30,
                 what="the dialog closing")
        assert self.proc.poll() == 1, "OK did not close the dialog: %s" % (self.rig.find_box(timeout=1),)


def vasp_file(env):
    return env.data / "VASPOUT" / "qelsmslitemm7" / "VASP.INI"


def test_mm7_dialog_shows_stored_settings_and_saves_after_http_check(rig, env):
    path = vasp_file(env)
    path.parent.mkdir(parents=True)
    write_ini(path, "[VASP]\nProtocol=MM7\nPHPMultipartPost=Yes\nServer=http://old/\nDomain=example.com\n"
                    "UserName=alice\nMM7Version=7.0.0\nMM7Schema=http://example.com/my.xsd\n"
                    "StripWhiteSpace=Yes\n")
    server = Server("::1")
    try:
        dialog = Dialog(rig, env)
        shown = dialog.controls()
        assert (shown[VARIATION].text, shown[URL].text, shown[USER].text, shown[VERSION].text,
                shown[SCHEMA].text) == ("PHP Multipart File Upload", "http://old/", "alice", "7.0.0",
                                        "(Custom)"), shown
        assert is_checked(rig, dialog.hwnd, STRIP)
        assert [id for id in MM7_ONLY if shown[id].visible] == [], "fields shown for the PHP upload"
        assert shown[URL].visible and shown[VARIATION].visible

        dialog.choose(VARIATION, 2)
        wait_for(lambda: dialog.controls()[VARIATION].text == "Ericsson", what="Ericsson chosen")
        assert [id for id in MM7_ONLY if not dialog.controls()[id].visible] == [], "fields still hidden"
        rig.settext(dialog.hwnd, VASP_ID, "vasp-1")
        url = "http://[::1]:%d/mm7/deliver" % server.port
        dialog.ok(url)
        assert server.connections == 1
    finally:
        server.close()
    vasp = env.ini(path)["VASP"]
    assert dict(vasp) == {"Protocol": "EricssonMM7", "Server": url, "VASPID": "vasp-1", "mm7DeliverReq": "Yes",
                          "UserName": "alice", "MM7Version": "7.0.0", "MM7Schema": "http://example.com/my.xsd",
                          "StripWhiteSpace": "Yes"}, vasp


def test_mm7_dialog_checks_https_server_certificate(rig, env):
    with tempfile.TemporaryDirectory() as work:
        folder = make_certificates(work)
        ca = to_windows(folder / "ca.pem")
        trusted = rig.wine([rig.testbin / "tls_client.exe", "trust", ca], cwd=str(rig.install_source))
        assert "trusted 1" in trusted.stdout, trusted.stdout
        servers = [Server("127.0.0.1", folder / "server"), Server("::1", folder / "server"),
                   Server("127.0.0.1", silent=True), Server("127.0.0.1", folder / "self"),
                   Server("127.0.0.1", folder / "forged")]
        named, v6, silent, unsigned, forged = servers
        try:
            dialog = Dialog(rig, env)
            # The certificate names localhost and ::1, not 127.0.0.1.
            assert dialog.ok_refused("https://127.0.0.1:%d/mm7" % named.port) == (
                TLS_REFUSAL % ("127.0.0.1", named.port) + "host name does not match the certificate")
            assert dialog.ok_refused("https://localhost:%d/" % unsigned.port) == (
                TLS_REFUSAL % ("localhost", unsigned.port)
                + "server certificate not trusted: the certificate is self-signed (0x800B0109)")
            # A certificate signed by a server's certificate, which chains to the trusted CA.
            assert dialog.ok_refused("https://localhost:%d/" % forged.port) == (
                TLS_REFUSAL % ("localhost", forged.port) + "server certificate not trusted: an issuing "
                "certificate is not a certification authority (0x80096019)")
            # A server that never answers the handshake is given up after the time-out.
            assert dialog.ok_refused("https://localhost:%d/" % silent.port) == (
                TLS_REFUSAL % ("localhost", silent.port)
                + "the server did not complete the TLS handshake within 1.5 s")
            dialog.choose(VERSION, 1)  # 5.3.0
            dialog.choose(SCHEMA, 2)  # REL-5-MM7-1-2
            dialog.ok("HTTPS://[::1]:%d/mm7" % v6.port)
        finally:
            for server in servers:
                server.close()
            rig.wine([rig.testbin / "tls_client.exe", "untrust", ca], cwd=str(rig.install_source))
        assert [server.connections for server in servers] == [1, 1, 1, 1, 1]
    vasp = env.ini(vasp_file(env))["VASP"]
    assert (vasp.get("Server"), vasp.get("MM7Version"), vasp.get("MM7Schema")) == (
        "HTTPS://[::1]:%d/mm7" % v6.port, None, None), dict(vasp)


def test_mm7_dialog_refusals_write_nothing(rig, env):
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    closed_port = listener.getsockname()[1]
    listener.close()  # nothing listens there now
    server = Server("127.0.0.1")
    (env.install / "TLSLINK.DLL").unlink()
    try:
        dialog = Dialog(rig, env)
        assert dialog.ok_refused("") == "Please define a URL for connecting to the server"
        assert dialog.ok_refused("127.0.0.1:%d/mm7" % closed_port) == (
            "Unable to connect to server 127.0.0.1:%d" % closed_port)
        assert dialog.ok_refused("https://127.0.0.1:%d/" % server.port) == (
            TLS_REFUSAL % ("127.0.0.1", server.port) + "SSL/TLS is not available on this computer (TLSLINK.DLL "
            "is missing or could not be started), so an https server cannot be checked.")
        assert not (env.data / "VASPOUT").exists(), "a refusal wrote something"
        # A file where the connection's folder belongs: the check passes, the save cannot.
        (env.data / "VASPOUT").write_bytes(b"")
        assert dialog.ok_refused("127.0.0.1:%d/mm7" % server.port) == (
            "The MM7 settings could not be saved to %s\\VASPOUT\\qelsmslitemm7\\VASP.INI" % to_windows(env.data))
        rig.click(dialog.hwnd, id=IDCANCEL)
        assert dialog.proc.wait(30) == 0
    finally:
        server.close()
    assert (env.data / "VASPOUT").is_file()
