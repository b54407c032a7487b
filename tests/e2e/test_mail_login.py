"""The mail login tests end to end: testing/mail_login_host calls the program's SMTP, IMAP and
POP3 login tests against real servers (dovecot, aiosmtpd) and scripted ones, with TLS through
TLSLINK.DLL from the installation and the rig's Wine prefix trusting the test CA."""

import shutil
import subprocess
import tempfile
import time
from pathlib import Path

import harness
from mail_servers import GARBAGE, MailServers, PLAIN_USER, PLAIN_PASSWORD, QUOTED_USER, QUOTED_PASSWORD
from program import CAPTION

HOST = "mail_login_host.exe"
LOGIN_FAILED = "%s login failed - Invalid username and/or password?"
TLS_UNAVAILABLE = ("SSL/TLS is not available (TLSLINK.DLL is missing or cannot start): the login to the %s "
                   "server %s was not tried, so that no password goes out unprotected.")


def install_host(rig, folder):
    shutil.copy2(str(rig.testbin / HOST), str(Path(folder) / HOST))


def run_host(rig, folder, *tests, owner=False):
    """Runs the host with the tests (tuples: test, server, tls, user, password) in one process;
    gives ([result per test], [boxes answered with OK])."""
    args = [Path(folder) / HOST, "--fast"] + (["--owner"] if owner else [])
    for test in tests:
        args += [test[0], test[1], "tls" if test[2] else "plain", test[3], test[4]]
    with tempfile.TemporaryFile() as out:
        program = subprocess.Popen(["wine"] + [str(a) for a in args], env=rig.env, cwd=str(folder),
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
        rig.started.append(program)
        boxes = rig.answer_boxes(program, timeout=90) if owner else []
        program.wait(90)
        out.seek(0)
        lines = out.read().decode("latin-1").replace("\r", "").splitlines()
    return [int(line.split()[1]) for line in lines if line.startswith("result ")], boxes


def run_timed(rig, folder, test):
    """Runs one test; gives (result, milliseconds it took)."""
    args = ["wine", str(Path(folder) / HOST), "--fast", test[0], test[1], "tls" if test[2] else "plain", test[3],
            test[4]]
    done = subprocess.run(args, env=rig.env, cwd=str(folder), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=90)
    fields = [line.split() for line in done.stdout.decode("latin-1").splitlines() if line.startswith("result ")]
    return int(fields[0][1]), int(fields[0][2])


def trace(env):
    return (env.data / "MAILTRACE.LOG").read_bytes().decode("latin-1")


def test_smtp_login_with_and_without_tls(rig, env):
    install_host(rig, env.install)
    with MailServers(rig, env.folder) as servers:
        cases = (
            ("smtp", servers.smtp_starttls, False, PLAIN_USER, PLAIN_PASSWORD, 1),
            ("smtp", servers.smtp_starttls, True, QUOTED_USER, QUOTED_PASSWORD, 1),  # STARTTLS
            ("smtp", servers.smtp_tls, True, PLAIN_USER, PLAIN_PASSWORD, 1),  # TLS from the first byte
            ("smtp", servers.smtp_starttls, False, "", "", 1),  # HELO, no login
            ("smtp", servers.smtp_tls, True, PLAIN_USER, "wrong", 0),
        )
        results, _ = run_host(rig, env.install, *cases)
        assert results == [c[5] for c in cases], results
        log = trace(env)
        assert "likely cause: server refused the user name or password" in log, log
        assert "> ****" in log and "wrong" not in log and "d3Jvbmc=" not in log, log

        results, _ = run_host(rig, env.install, ("smtp", servers.smtp_self_signed, True, PLAIN_USER, PLAIN_PASSWORD))
        assert results == [0]
        log = trace(env)
        assert "likely cause: certificate not trusted" in log and "AUTH" not in log, log


def test_smtp_login_refuses_a_chain_through_an_end_entity_certificate(rig, env):
    install_host(rig, env.install)
    with MailServers(rig, env.folder) as servers:
        results, _ = run_host(rig, env.install, ("smtp", servers.smtp_bad_chain, True, PLAIN_USER, PLAIN_PASSWORD))
        log = trace(env)
        assert results == [0] and "TLS failed: " in log and "AUTH" not in log, log


def test_imap_login_with_and_without_tls(rig, env):
    install_host(rig, env.install)
    with MailServers(rig, env.folder) as servers:
        cases = (
            ("imap", "[::1]:%d" % servers.imap_port, False, PLAIN_USER, PLAIN_PASSWORD, 1),
            ("imap", servers.imap, True, QUOTED_USER, QUOTED_PASSWORD, 1),  # STARTTLS
            ("imap", servers.imap_tls, True, PLAIN_USER, PLAIN_PASSWORD, 1),  # TLS from the first byte
            ("imap", servers.imap_tls, True, QUOTED_USER, "pa\"ss\\wor", 0),
        )
        results, _ = run_host(rig, env.install, *cases)
        assert results == [c[5] for c in cases], results
        assert "likely cause: server refused the user name or password" in trace(env)

        # Tags keep counting from test to test within one process.
        first = servers.fake(greeting=b"* OK hi\r\n", answers=[b"A0001 OK in\r\n", b"A0002 OK out\r\n"])
        second = servers.fake(greeting=b"* OK hi\r\n", answers=[b"* 1 EXISTS\r\nA0003 OK in\r\n", b"A0004 OK\r\n"])
        results, _ = run_host(rig, env.install, ("imap", first.address, False, "u", "p"),
                              ("imap", second.address, False, "u", "p"))
        assert results == [1, 1]
        assert [first.received, second.received] == [['A0001 LOGIN "u" "p"', "A0002 LOGOUT"],
                                                      ['A0003 LOGIN "u" "p"', "A0004 LOGOUT"]]


def test_pop3_login_with_and_without_tls(rig, env):
    install_host(rig, env.install)
    with MailServers(rig, env.folder) as servers:
        cases = (
            ("pop3", servers.pop3, False, PLAIN_USER, PLAIN_PASSWORD, 1),
            ("pop3", servers.pop3, True, QUOTED_USER, QUOTED_PASSWORD, 1),  # STLS
            ("pop3", servers.pop3_tls, True, PLAIN_USER, PLAIN_PASSWORD, 1),  # TLS from the first byte
            ("pop3", servers.pop3, False, PLAIN_USER, "wrong", 0),
        )
        results, _ = run_host(rig, env.install, *cases)
        assert results == [c[5] for c in cases], results
        log = trace(env)
        assert "PASS ****" in log and "wrong" not in log, log


def test_failures_show_their_box_and_refusals_send_nothing(rig, env):
    install_host(rig, env.install)
    with MailServers(rig, env.folder) as servers:
        refused = servers.fake(greeting=b"220 hi\r\n", answers=[b"250-hi\r\n250 AUTH LOGIN\r\n", b"334 VXNlcm5hbWU6\r\n",
                                                                 b"334 UGFzc3dvcmQ6\r\n", b"535 5.7.8 no\r\n"],
                               chunk=1)
        garbage = servers.fake(on_any=GARBAGE)
        results, boxes = run_host(rig, env.install, ("smtp", refused.address, False, "u", "p"),
                                  ("pop3", garbage.address, True, "u", "p"), owner=True)
        assert results == [0, 0]
        assert [(b.caption, b.icon, b.buttons) for b in boxes] == [(CAPTION, "error", ["OK"])] * 2, boxes
        assert boxes[0].text == LOGIN_FAILED % "SMTP", boxes
        assert boxes[1].text.startswith("SSL Connection failed for POP3 server - "), boxes
        time.sleep(0.2)
        assert garbage.raw.startswith(b"\x16\x03") and b"USER" not in garbage.raw, garbage.raw

        # Without TLSLINK.DLL a test that asks for TLS refuses after connecting: nothing is sent.
        bare = env.folder / "without-tlslink"
        bare.mkdir()
        install_host(rig, bare)
        shutil.copy2(str(env.install / "GWCORE.DLL"), str(bare / "GWCORE.DLL"))
        silent = servers.fake(greeting=b"220 hi\r\n", answers=[b"250 ok\r\n"] * 4)
        results, boxes = run_host(rig, bare, ("smtp", silent.address, True, "u", "p"), owner=True)
        assert results == [0] and [b.text for b in boxes] == [TLS_UNAVAILABLE % ("SMTP", silent.address)], boxes
        time.sleep(0.2)
        assert silent.received == []


def test_waits_for_silent_refusing_and_trickling_servers_end_within_their_bounds(rig, env):
    # --fast: 1 s for a plain greeting before TLS, 5 s for a handshake, a greeting or STARTTLS.
    install_host(rig, env.install)
    with MailServers(rig, env.folder) as servers:
        silent = servers.fake()
        refusing = servers.fake(greeting=b"220 hi\r\n", answers=[b"250 hi\r\n", b"502 no\r\n"])
        trickling = servers.fake(greeting=b"220 " + b"x" * 200 + b"\r\n", chunk=1, pause=0.25)
        cases = (
            (("smtp", silent.address, True, "u", "p"), 6000, "no answer to the TLS handshake"),
            (("pop3", silent.address, True, "u", "p"), 6000, "no answer to the TLS handshake"),
            (("smtp", refusing.address, True, "u", "p"), 0, "the server refused STARTTLS"),
            (("smtp", trickling.address, False, "u", "p"), 5000, "no greeting: no complete reply in 5 s"),
        )
        for test, least, cause in cases:
            result, ms = run_timed(rig, env.install, test)
            log = trace(env)
            # Unbounded, each would wait 50 s or more; the margin is for a busy machine.
            assert result == 0 and least <= ms < least + 10000, (test, ms, log)
            assert "likely cause: " + cause in log, log
        assert refusing.received == ["EHLO clienttest", "STARTTLS"]
