"""The modem simulator the modem-check tests stand on: its scenarios, played against the state
machine directly, and the way to it through Wine's serial port (speeds, answers, the log and a
write held back by flow control), with com_probe.exe opening COMn as the program does."""

from modem_rig import modem_sim, start_modem

# personality, options, script: "COMMAND => ANSWER" steps and "wait S" (seconds on the
# modem's clock); COMMAND ending in ^Z or ^[ is message text. ANSWER pieces are separated by
# "|": one ending in CR is echo, ">" the prompt, XOFF the flow-control character, anything
# else an answer line. Every script starts after an ATE0 whose answer is not checked.
SCRIPTS = (
    ("ok", {}, '+++ATH0 => OK; AT => OK; ATE0V1 => OK; AT+CFUN=? => +CFUN: (0,1,4),(0-1)|OK; '
               'AT*E2RESET=? => ERROR; AT+CSMS=128 => +CSMS: 1,1,1|OK; AT+FOO => ERROR'),
    ("ok", {}, 'AT+CMGS=86 => >; 0011^Z => +CMGS: 1|OK; AT+CMGS="123" => >; Hi^[ => ; AT => OK'),
    ("ok", {"drop_seconds": 1}, "AT+CFUN=1,1 => OK; AT => ; wait 1; AT => AT\r|OK"),
    ("echo", {}, "AT => AT\r|OK"),
    ("prompt-only", {}, "AT => AT\r|>; AT+CPIN? => AT+CPIN?\r|>"),
    ("sim-pin", {}, 'AT+CPIN? => +CPIN: SIM PIN|OK; AT+CPIN="1" => +CME ERROR: 16; '
                    'AT+CPIN="1234" => OK; AT+CPIN? => +CPIN: READY|OK'),
    ("radio-off", {}, "AT+CFUN? => +CFUN: 0|OK; AT+COPS? => +COPS: 0|OK; AT+CFUN=1 => OK; "
                      'AT+CFUN? => +CFUN: 1|OK; AT+COPS? => +COPS: 0,0,"Test Net"|OK'),
    ("no-operator", {"rounds": 2}, "AT+COPS? => +COPS: 0|OK; AT+COPS? => +COPS: 0|OK; "
                                   'AT+COPS? => +COPS: 0,0,"Test Net"|OK'),
    ("storage-busy", {"rounds": 1}, "AT+CPMS? => +CMS ERROR: 310; "
                                    'AT+CPMS? => +CPMS: "SM",0,30,"SM",0,30,"SM",0,30|OK'),
    ("no-csms", {}, "AT+CSMS=0 => ERROR; AT+CSMS=128 => ERROR; AT+CSMS? => ERROR; "
                    "AT+CMGF=0 => OK; AT+CMGS=86 => >"),
    ("text-mode", {}, "AT+CMGF=0 => ERROR; AT+CMGF=1 => OK"),
    ("no-cmgf", {}, 'AT+CMGF=0 => ERROR; AT+CMGF=1 => ERROR; AT+CMGS="123456789" => >'),
    ("cmgs-ok", {}, "AT+CMGS=86 => OK"),
    ("cmgs-error", {}, "AT+CMGS=86 => ERROR"),
    ("cms-error", {}, "AT+CMGS=86 => +CMS ERROR: 330"),
    ("cme-error", {}, "AT+CPIN? => +CME ERROR: 10"),
    ("ok", {"answers": {"AT+CPMS?": []}}, "AT+CPMS? => ; AT => OK"),
    ("reset-e2", {}, "AT+CFUN=? => +CFUN: (0,1,4)|OK; AT+CFUN=1,1 => ERROR; AT!RESET => ERROR; "
                     "AT*E2RESET=? => OK; AT*E2RESET => OK; AT => ; wait 2; AT => AT\r|OK"),
    ("reset-bang", {}, "AT*E2RESET=? => ERROR; AT!RESET => OK; wait 2; AT => AT\r|OK"),
    ("reset-none", {}, "AT+CFUN=? => +CFUN: (0,1,4)|OK; AT!RESET => ERROR; AT*E2RESET => ERROR"),
    ("reset-needed", {"drop_seconds": 1},
     "AT => ; AT+CFUN=? => ; AT!RESET => ; AT => ; wait 1; AT => AT\r|OK; ATE0 => ATE0\r|OK; "
     "AT!RESET => OK"),
    ("stall", {"rounds": 2}, "AT => XOFF|OK; AT => "),  # the hidden ATE0 was the first
)


def render(answer):
    """ANSWER as the bytes on the line."""
    out = ""
    for piece in (p for p in answer.split("|") if p):
        if piece.endswith("\r"):
            out += piece
        else:
            out += {">": modem_sim.PROMPT, "XOFF": "\x13"}.get(piece) or modem_sim.lines(piece)
    return out.encode("latin-1")


def test_each_personality_answers_its_script(rig):
    for personality, options, script in SCRIPTS:
        modem = modem_sim.Modem(modem_sim.make_config(personality, **options))
        now = [0.0]

        def talk(text):
            sent = text.replace("^Z", "\x1a").replace("^[", "\x1b")
            if sent == text:
                sent += "\r"
            return b"".join(chunk for _, chunk in modem.receive(sent.encode(), 115200, now[0]))
        talk("ATE0")
        for step in script.split("; "):
            if step.startswith("wait "):
                now[0] += float(step[5:])
                continue
            command, _, answer = step.partition(" =>")
            got = talk(command)
            assert got == render(answer.lstrip(" ")), (personality, options, step, got)


def probe(rig, port, speed, *commands, wait=1000):
    """com_probe.exe's output lines and exit code."""
    done = rig.wine([rig.testbin / "com_probe.exe", "COM%d" % port, speed, "--wait", wait]
                    + list(commands), timeout=30)
    return done.stdout.splitlines(), done.returncode


def test_the_modem_answers_through_a_com_port_at_its_speeds(rig):
    ok_answer = r"answer: \r\nOK\r\n"
    # personality, options, speed set by the program, commands (com_probe escapes), answers
    cases = [
        ("ok", {}, 115200, [r"+++ATH0\r", r"ATE0V1\r", r"AT+CMGS=86\r", r"0011\x1a"],
         [r"answer: +++ATH0\r\r\nOK\r\n", r"answer: ATE0V1\r\r\nOK\r\n", r"answer: \r\n> ",
          r"answer: \r\n+CMGS: 1\r\n\r\nOK\r\n"]),
        ("ok", {"speeds": [2400, 19200]}, 2400, [r"ATE0\r", r"AT\r"],
         [r"answer: ATE0\r\r\nOK\r\n", ok_answer]),
        ("ok", {"speeds": [2400, 19200]}, 9600, [r"AT\r"], ["answer: "]),
        ("silence", {}, 115200, [r"AT\r"], ["answer: "]),
        # Trickling in, an answer is taken as ended at "\nOK"; its last "\r\n" comes with
        # the next one.
        ("trickle", {"trickle_ms": 2}, 57600, [r"ATE0\r", r"AT+CPIN?\r"],
         [r"answer: ATE0\r\r\nOK", r"answer: \r\n\r\n+CPIN: READY\r\n\r\nOK"]),
    ]
    for port, (personality, options, speed, commands, answers) in enumerate(cases, start=5):
        modem = start_modem(rig, port, personality, **options)
        lines, code = probe(rig, port, speed, *commands, wait=300)
        expected = ["state: baud=%d outx=0" % speed] + answers
        assert code == 0 and lines == expected, (personality, lines)
        sent = [modem_sim.unescape(c.replace(r"\r", "")) for c in commands]
        assert modem.commands() == [(speed, c) for c in sent], (personality, modem.commands())
        modem.stop()


def test_a_long_answer_arrives_whole(rig):
    start_modem(rig, 5, "long", long_bytes=700)
    lines, code = probe(rig, 5, 115200, r"ATE0\r", r"AT\r")
    answer = lines[-1][len("answer: "):].replace(r"\r\n", "\n")
    assert code == 0 and len(answer) > 700 and answer.endswith("\n\nOK\n"), lines


def test_a_stalled_modem_holds_the_programs_write_pending(rig):
    # The slave starts with IXON; Wine reads it into fOutX, BuildCommDCB keeps it and
    # SetCommState sets it again, so the modem's XOFF stops the program's output.
    modem = start_modem(rig, 5, "stall")
    lines, code = probe(rig, 5, 115200, r"ATE0V1\r", r"AT+CPIN?\r", wait=500)
    assert (code, lines) == (2, ["state: baud=115200 outx=1", r"answer: ATE0V1\r\r\nOK\r\n",
                                 "pending: 0"]), lines
    assert modem.commands() == [(115200, "ATE0V1")]
