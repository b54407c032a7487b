"""The stand-in services acting as a small gateway on test requests: a request dropped into a
queue and announced through GWCORE.DLL's SetEventForInterface ends in the day log (or stays,
marked, in the queue) as the scenario in STANDIN.INI says. The test-message page relies on
this behaviour of the stand-ins."""

import shutil

from harness import to_windows, wait_for
from program import services_are

MODEM = "COM3:"
ERROR = "ERROR: 500 Modem error"


def start_gateway(rig, env, scenario):
    (env.data / "SMSGW.INI").write_bytes(b"[SMSGW]\r\nModem1=" + MODEM.encode() + b"\r\n")
    set_scenario(env, scenario)
    shutil.copy2(str(rig.testbin / "standins" / "signal_interface.exe"), str(env.install))
    done = env.run("-INSTALLSERVICE", "-QUIET", timeout=30)
    assert done.returncode == 0, done.stderr[-500:]
    services_are(rig, "running")


def set_scenario(env, scenario, **keys):
    lines = []
    for service in ("QelSMS", "QelMMSC"):
        lines += ["[%s]" % service, "TestScenario=" + scenario]
        lines += ["%s=%s" % item for item in keys.items()]
    (env.install / "STANDIN.INI").write_text("\r\n".join(lines) + "\r\n", encoding="ascii")


def drop_request(rig, env, sms, name):
    """Writes a request into the service's queue and wakes the service as the program does."""
    if sms:
        queue = env.data / "Q"
        queue.mkdir(exist_ok=True)
        (queue / (name + ".REQ")).write_bytes(b"[SMS]\r\nPhoneNumber=+4912345\r\nData=hello\r\n")
        interface, route = "SMSOut", MODEM
    else:
        queue = env.data / "VASPQ"
        queue.mkdir(exist_ok=True)
        (queue / (name + ".MMS")).write_bytes(b"\x8c\x80\x98TEST\x00")
        (queue / (name + ".INI")).write_bytes(b"[Routing]\r\nTo=+4912345\r\n")
        interface, route = "VASPOut", "qelsmslite"
    done = rig.wine([to_windows(env.install / "signal_interface.exe"), interface, route],
                    cwd=str(env.install))
    assert done.returncode == 0, (done.stdout, done.stderr[-300:])
    return queue / (name + (".REQ" if sms else ".INI"))


def day_log_outcome(env, sms, name):
    """The outcome field of the request's line in the day log, or None."""
    pattern, name_field, outcome_field = ("SMSOUT-*.LOG", 1, 4) if sms else ("MMSC-*.LOG", 6, 5)
    for log in env.data.glob(pattern):
        assert len(log.stem.split("-")[1]) == 8, log.name
        for line in log.read_bytes().decode("cp1252").splitlines():
            fields = line.split(",")
            if len(fields) > name_field and fields[name_field].startswith(name):
                return fields[outcome_field]
    return None


def test_finished_requests_are_deleted_and_logged(rig, env):
    start_gateway(rig, env, "ok")
    cases = [  # sms, scenario, request, outcome
        (True, "ok", "TEST0001", "OK"),
        (True, "fail", "TEST0002", ERROR),
        (True, "late", "TEST0003", "OK"),
        (False, "ok", "TEST00A1", "OK"),
        (False, "fail", "TEST00A2", ERROR),
    ]
    for sms, scenario, name, outcome in cases:
        set_scenario(env, scenario, LateMs=300)
        request = drop_request(rig, env, sms, name)
        wait_for(lambda: day_log_outcome(env, sms, name), timeout=10, what=name + " logged")
        assert day_log_outcome(env, sms, name) == outcome, (scenario, name)
        assert not request.exists(), (scenario, name)
        assert not request.with_suffix(".MMS").exists(), (scenario, name)
    lines = env.log_lines("STANDIN.LOG")
    assert "took TEST0001.REQ" in lines and "logged TEST0001 OK" in lines, lines
    assert "woken" in lines, lines


def test_kept_requests_carry_the_error(rig, env):
    start_gateway(rig, env, "retry")
    cases = [  # sms, scenario, request
        (True, "retry", "TEST0011"),
        (False, "retry", "TEST00B1"),
        (True, "offline", "TEST0012"),
        (False, "offline", "TEST00B2"),
    ]
    notes = {True: env.private / "COM3-.ERR", False: env.private / "MMSCROUTE--qelsmslite.ERR"}
    for sms, scenario, name in cases:
        set_scenario(env, scenario, FinishAfterMs=600000)
        request = drop_request(rig, env, sms, name)
        wait_for(lambda: "took " + request.name in env.log_lines("STANDIN.LOG"), timeout=10,
                 what=name + " taken")
        if scenario == "retry":
            section = "ErrorDetail" if sms else "Routing"
            wait_for(lambda: env.ini(request)[section].get("LastErrorInfo"), timeout=5,
                     what=name + " marked")
            detail = env.ini(request)[section]
            assert (detail.get("RetryCount"), detail.get("LastErrorInfo")) == ("2", ERROR), name
        else:
            wait_for(lambda: notes[sms].exists(), timeout=5, what=name + " note")
            assert notes[sms].read_bytes().decode() == ERROR, name
        assert request.exists(), (scenario, name)
        assert day_log_outcome(env, sms, name) is None, (scenario, name)


def test_held_request_cannot_be_deleted_until_the_service_stops(rig, env):
    start_gateway(rig, env, "hold")
    request = drop_request(rig, env, True, "TEST0021")
    wait_for(lambda: "holding TEST0021" in env.log_lines("STANDIN.LOG"), timeout=10,
             what="request held")
    delete = ["cmd", "/c", "del", to_windows(request)]
    rig.wine(delete, cwd=str(env.install))
    assert request.exists()
    assert env.run("-STOPSERVICE", timeout=30).returncode == 0
    services_are(rig, "stopped")
    rig.wine(delete, cwd=str(env.install))
    assert not request.exists()
