#!/usr/bin/env python3
"""make demo: the program over a whole gateway on simulated hardware, so that every page has
something to show without a modem, a phone or a mail server.

    python3 tools/demo.py --windows build/win32

What runs (all on 127.0.0.1, all ended when the program's window closes or on Ctrl-C):
- a GSM modem simulator on a pseudo-terminal linked as COM5, listed as the telephony modem
  "Demo GSM Modem" through the stand-in tapi32.dll;
- a phone modem's HTTP side, announced to the program's search for phone modems;
- the stand-in services as the gateway's two services: they take test messages, log and count
  them, and now and then drop a received SMS and a received MMS into the stores;
- dovecot (IMAP, POP3) and an SMTP server with a demo mailbox, and an MM7 server.

The demo lives in build/demo (its installation copy, data and private folders) and in the Wine
prefix build/wineprefix-demo; both are kept between runs, so the configuration survives. The
product's installation folder is never written: the demo copies it and adds the test programs.
Without a display it runs on a virtual one and says so, like make run.

Python 3 standard library only (plus the test rig in tests/e2e).
"""

import argparse
import http.server
import os
import shutil
import signal
import subprocess
import sys
import threading
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "testing" / "simulators"))
import harness  # noqa: E402
import mail_servers  # noqa: E402
from modem_rig import start_modem  # noqa: E402
from program import start_modem_discovery, start_phone_modem  # noqa: E402
from tapi_rig import install_tapi_standin  # noqa: E402

MODEM_NAME = "Demo GSM Modem"
MODEM_PORT = 5
PHONE_NAME = "Demo Phone"
RECEIVE_EVERY_MS = 45000
TAPI_LINES = """
    [Lines]
    Count=1
    [Line0]
    Name=%s
    PortName=COM%d
    """ % (MODEM_NAME, MODEM_PORT)


class Mm7Server:
    """An HTTP server that takes whatever is posted to it with "200 OK"; enough for the MM7
    dialog's connection check."""

    class Handler(http.server.BaseHTTPRequestHandler):
        def _answer(self):
            length = int(self.headers.get("Content-Length") or 0)
            if length:
                self.rfile.read(min(length, 1 << 20))
            body = b"<ok/>"
            self.send_response(200)
            self.send_header("Content-Type", "text/xml")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        do_GET = do_POST = _answer

        def log_message(self, *args):
            pass

    def __init__(self):
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), self.Handler)
        self.port = self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()

    def poll(self):  # the rig ends what it started through poll/kill/wait
        return None if self.httpd else 0

    def kill(self):
        if self.httpd:
            self.stop()
            self.httpd = None

    def wait(self, timeout=None):
        return 0


class DemoInstallation(harness.TestEnv):
    """The demo's installation in a folder that is kept: install/ is copied afresh from the
    build (with the stand-in services and telephony beside the program), data/ and private/
    stay as the last run left them."""

    def __init__(self, rig, folder):  # noqa: super().__init__ makes a throw-away folder
        self.rig = rig
        self.folder = Path(folder)
        self.install = self.folder / "install"
        self.data = self.folder / "data"
        self.private = self.folder / "private"
        self.folder.mkdir(parents=True, exist_ok=True)
        # Services a last run installed may have started with the Wine session: they run
        # from install/, which is copied afresh, and are started again once it is in place.
        rig.kill_image(*harness.STANDINS)
        shutil.rmtree(str(self.install), ignore_errors=True)
        shutil.copytree(str(rig.install_source), str(self.install))
        for exe in harness.STANDINS:
            shutil.copy2(str(rig.testbin / "standins" / exe), str(self.install / exe))
        self.data.mkdir(exist_ok=True)
        self.private.mkdir(exist_ok=True)
        self.exe = harness.to_windows(self.install / harness.PROGRAM)
        self.write_registry()

    def cleanup(self):
        """Ends the program and the services; the folders and the installed services stay."""
        self.rig.end_started()
        for service in harness.SERVICES:
            self.rig.wine(["net", "stop", service], timeout=30)
        self.rig.kill_image(harness.PROGRAM, *harness.STANDINS)


class Demo:
    """Everything the demo runs, in a rig (a Wine session) given or made here."""

    def __init__(self, rig, folder, receive_every_ms=RECEIVE_EVERY_MS):
        self.rig = rig
        self.folder = Path(folder)
        self.receive_every_ms = receive_every_ms
        self.env = None
        self.mail = None
        self.lines = []

    def start(self):
        rig = self.rig
        self.env = env = DemoInstallation(rig, self.folder)
        install_tapi_standin(env, TAPI_LINES)
        smsgw = env.data / "SMSGW.INI"
        if not smsgw.exists():
            # A GSM modem sends MMS through a data call, which needs the dial-up add-on that a
            # demo does not have: the demo modem starts with SMS only (the phone modem does MMS).
            smsgw.write_bytes(("[Modem - %s]\r\nReceiveMMS=No\r\n" % MODEM_NAME).encode("cp1252"))
        (env.install / "STANDIN.INI").write_bytes(self._standin_ini())
        for service in harness.SERVICES:
            if rig.service(service)["state"] not in (None, "missing"):
                rig.wine(["net", "start", service], timeout=30)

        start_modem(rig, MODEM_PORT, "ok")
        phone = start_phone_modem(rig)
        start_modem_discovery(rig, env, [(PHONE_NAME, phone.port)])
        mm7 = Mm7Server()
        rig.started.append(mm7)
        self.mail = mail_servers.MailServers(rig, self.folder / "mail")
        self.mail.__enter__()

        user, password = mail_servers.PLAIN_USER, mail_servers.PLAIN_PASSWORD
        self.lines = [
            "Simulated for this demo (nothing leaves 127.0.0.1):",
            "  GSM modem       \"%s\" on COM%d (Select Modem page)" % (MODEM_NAME, MODEM_PORT),
            "  phone modem     \"QelSMSModem - %s\", found by the search (HTTP on port %d)"
            % (PHONE_NAME, phone.port),
            "  gateway         the two services take test messages, count them, and receive an"
            " SMS and an MMS every %d s" % (self.receive_every_ms // 1000),
            "  mail (E-Mail page, mailbox):  user %s  password %s" % (user, password),
            "                  IMAP %s (SSL/TLS: %s)  POP3 %s  SMTP %s"
            % (self.mail.imap, self.mail.imap_tls, self.mail.pop3, self.mail.smtp_starttls),
            "  MM7 server      http://127.0.0.1:%d/mm7 (2-Way page, Configure)" % mm7.port,
            "  event log       Wine's Application log is a stub: the Event Log viewer stays empty",
            "Files: %s (data folder %s)" % (self.folder, env.data),
        ]
        return self.lines

    def _standin_ini(self):
        picture = self.folder / "holiday.jpg"
        if not picture.exists() and shutil.which("convert"):
            subprocess.run(["convert", "-size", "320x240", "plasma:steelblue-gold", str(picture)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        lines = []
        for service in harness.SERVICES:
            lines += ["[%s]" % service, "TestScenario=ok", "Counters=1",
                      "ReceiveEveryMs=%d" % self.receive_every_ms]
            if picture.exists():
                lines.append("ReceivePicture=" + harness.to_windows(picture))
        return ("\r\n".join(lines) + "\r\n").encode("cp1252")

    def start_program(self, *args):
        return self.env.start(*args)

    def close(self):
        if self.mail:
            self.mail.close()
            self.mail = None
        if self.env:
            self.env.cleanup()
        self.rig.end_started()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--windows", default="build/win32", help="the Windows build folder")
    args = parser.parse_args()
    display = os.environ.get("DISPLAY")
    if not display:
        print("demo: no display; running on a virtual display (Xvfb).", flush=True)
    rig = harness.Rig(ROOT, args.windows, prefix=ROOT / "build" / "wineprefix-demo",
                      log=lambda m: print("demo: " + m, flush=True), display=display)
    demo = Demo(rig, ROOT / "build" / "demo")
    # Ctrl-C and a closed terminal end everything the demo started, like closing the window.
    def interrupted(*_):
        raise KeyboardInterrupt()
    signal.signal(signal.SIGTERM, interrupted)
    signal.signal(signal.SIGHUP, interrupted)
    try:
        print("\n".join(demo.start()), flush=True)
        program = demo.start_program()
        print("demo: the program is running; close its window (or Ctrl-C) to end the demo.",
              flush=True)
        program.wait()
    except KeyboardInterrupt:
        print("\ndemo: ending.", flush=True)
    finally:
        demo.close()
        rig.close()
    print("demo: everything it started has ended.")


if __name__ == "__main__":
    main()
