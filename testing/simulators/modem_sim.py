#!/usr/bin/env python3
"""A GSM modem on a pseudo-terminal, for tests that drive the program's modem check.

    modem_sim.py --link PATH --personality NAME[+NAME...] [options] --log LOGFILE

Makes PATH a symbolic link to the slave side of a new pseudo-terminal (under Wine:
$WINEPREFIX/dosdevices/comN), prints "ready" once it serves and runs until SIGTERM, then
removes the link. Every command received is logged as one line "<speed>\t<command>", speed
being the port's output speed in bit/s when the command ended; control characters and
backslashes in the command are written \\xNN and \\\\. Message text sent after the "> "
prompt is logged the same way, ending in \\x1a (Ctrl-Z) or \\x1b (ESC).

Personalities are scenarios (PERSONALITIES; NAME+NAME combines them, options override).
The "ok" modem echoes until ATE0, has its SIM READY, the radio on and the operator "Test
Net", takes PDU and text mode, prompts "> " for AT+CMGS (text up to Ctrl-Z is sent, ESC
cancels) and resets with AT+CFUN=1,1; unknown commands get ERROR. Besides:
- at a speed not in --speeds it reads and logs but neither echoes nor answers;
- after an accepted reset (OK first) it drops everything for --drop-seconds, then comes
  back in its power-on state: echo on, PIN asked for again, radio as at start;
- reset-needed answers nothing at any speed, but acts on a reset command it accepts;
- stall sets IXON on the slave and sends XOFF with the answer to the --rounds'th command,
  so the tty holds the program's further writes back. That works as long as the program
  keeps IXON, i.e. sets the port from the DCB GetCommState gave it (fOutX); it then reads
  and logs whatever still reaches it, and answers nothing.
The modem keeps the slave open itself, so the program may open and close the port as often
as it likes, and reads the speed the program set with tcgetattr on the slave.

Python 3 standard library only.
"""

import argparse
import dataclasses
import os
import re
import select
import signal
import sys
import termios
import time
import tty

XOFF, CTRL_Z, ESC = b"\x13", "\x1a", "\x1b"
RESETS = ("cfun", "e2reset", "!reset")
SPEEDS = {getattr(termios, "B%d" % n): n for n in (
    0, 50, 75, 110, 134, 150, 200, 300, 600, 1200, 1800, 2400, 4800, 9600, 19200, 38400,
    57600, 115200, 230400, 460800, 921600) if hasattr(termios, "B%d" % n)}


@dataclasses.dataclass
class Config:
    echo_always: bool = False        # echo stays on after ATE0
    prompt_only: bool = False        # every command answered "> "
    speeds: frozenset = None         # answers only at these speeds (None: at every speed)
    pin: str = None                  # SIM asks for this PIN (None: READY)
    radio_on: bool = True            # +CFUN: 1 at power-on
    no_operator: int = 0             # rounds of AT+COPS? without an operator
    storage_busy: int = 0            # AT+CPMS? answered +CMS ERROR: 310 this many times
    csms: bool = True                # AT+CSMS accepted
    pdu_mode: bool = True            # AT+CMGF=0 accepted
    text_mode: bool = True           # AT+CMGF=1 accepted
    cmgs: str = "prompt"             # AT+CMGS answer: the prompt, or a final result text
    resets: frozenset = frozenset({"cfun"})  # reset commands accepted
    silent_until_reset: bool = False  # answers nothing until a reset command arrives
    drop_seconds: float = 2.0        # after a reset everything received is dropped this long
    trickle: float = 0.0             # seconds between answer bytes (0: answers in one write)
    long_bytes: int = 0              # information text of this size before every OK
    stall_after: int = 0             # commands answered before output is stopped with XOFF
    answers: dict = dataclasses.field(default_factory=dict)  # COMMAND -> reply lines


# Each scenario's settings; --rounds sets the counts that are not zero.
PERSONALITIES = {
    "ok": {},
    "echo": {"echo_always": True},
    "prompt-only": {"prompt_only": True},
    "cms-error": {"cmgs": "+CMS ERROR: 330"},
    "cme-error": {"answers": {"AT+CPIN?": ["+CME ERROR: 10"]}},
    "trickle": {"trickle": 0.005},
    "long": {"long_bytes": 600},
    "silence": {"speeds": frozenset()},
    "stall": {"stall_after": 1},
    "sim-pin": {"pin": "1234"},
    "radio-off": {"radio_on": False},
    "no-operator": {"no_operator": 3},
    "storage-busy": {"storage_busy": 3},
    "no-csms": {"csms": False},
    "text-mode": {"pdu_mode": False},
    "no-cmgf": {"pdu_mode": False, "text_mode": False},
    "cmgs-ok": {"cmgs": "OK"},
    "cmgs-error": {"cmgs": "ERROR"},
    "reset-cfun": {"resets": frozenset({"cfun"})},
    "reset-e2": {"resets": frozenset({"e2reset"})},
    "reset-bang": {"resets": frozenset({"!reset"})},
    "reset-none": {"resets": frozenset()},
    "reset-needed": {"silent_until_reset": True, "resets": frozenset(RESETS)},
}
ROUNDS = ("no_operator", "storage_busy", "stall_after")


def make_config(personality, **options):
    """The settings of NAME[+NAME...], then the options that are not None."""
    settings = {}
    for name in personality.split("+"):
        if name not in PERSONALITIES:
            raise ValueError("unknown personality %r" % name)
        settings.update(PERSONALITIES[name])
    config = Config(**settings)
    config.answers = dict(config.answers, **options.pop("answers", None) or {})
    rounds = options.pop("rounds", None)
    if rounds is not None:
        for field in ROUNDS:
            if getattr(config, field):
                setattr(config, field, rounds)
    for name, value in options.items():
        if value is not None:
            setattr(config, name, value)
    return config


def escape(text):
    return "".join(c if " " <= c < "\x7f" and c != "\\" else
                   ("\\\\" if c == "\\" else "\\x%02x" % ord(c)) for c in text)


def unescape(text):
    return re.sub(r"\\(\\|x[0-9a-f]{2})",
                  lambda m: "\\" if m.group(1) == "\\" else chr(int(m.group(1)[1:], 16)), text)


def lines(*texts):
    return "".join("\r\n%s\r\n" % t for t in texts)


OK, ERROR, PROMPT = lines("OK"), lines("ERROR"), "\r\n> "


class Modem:
    """The AT state machine. receive() takes what the program wrote, one chunk at a time,
    and returns what goes back as [(kind, bytes)], kind being "echo", "answer" or "flow";
    log(speed, command) is called for every command. now is the caller's clock."""

    def __init__(self, config, log=lambda speed, command: None):
        self.config = config
        self.log = log
        self.reset_done = False
        self.dropped_until = None
        self.answered = 0
        self.stalled = False
        self.reset_pending = False
        self.no_operator = config.no_operator
        self.storage_busy = config.storage_busy
        self.power_on()

    def power_on(self):
        self.echo = True
        self.pin_given = self.config.pin is None
        self.radio_on = self.config.radio_on
        self.line = ""
        self.message = None  # text after the prompt, or None outside it

    def speed_ok(self, speed):
        return self.config.speeds is None or speed in self.config.speeds

    def stuck(self, speed):
        """Waiting for the reset that makes it answer."""
        return (self.config.silent_until_reset and not self.reset_done
                and self.dropped_until is None and self.speed_ok(speed))

    def silent(self, speed, now):
        if self.stalled:
            return True
        if self.dropped_until is not None:
            if now < self.dropped_until:
                return True
            self.dropped_until = None
            self.power_on()
        return self.stuck(speed) or not self.speed_ok(speed)

    def receive(self, data, speed, now):
        out = []
        for c in data.decode("latin-1"):
            silent = self.silent(speed, now)
            if (self.echo or self.config.echo_always) and not silent:
                out.append(("echo", c.encode("latin-1")))
            if self.message is not None:
                self.take_message_char(c, speed, silent, out)
            elif c == "\r":
                command, self.line = self.line.lstrip("\n"), ""
                self.log(speed, command)
                if command and not silent:
                    self.answer(command, now, out)
                elif command and self.stuck(speed):
                    self.answer(command, now, [])  # acts on a reset, answers nothing
            else:
                self.line += c
        return out

    def take_message_char(self, c, speed, silent, out):
        if c not in (CTRL_Z, ESC):
            self.message += c
            return
        self.log(speed, self.message + c)
        self.message = None
        if c == CTRL_Z and not silent:
            out.append(("answer", (lines("+CMGS: 1") + OK).encode()))

    def answer(self, command, now, out):
        reply = self.reply(command)
        if reply.endswith(OK) and self.config.long_bytes:
            filler = "+LONG: " + "0123456789" * 6
            reply = lines(*[filler] * (self.config.long_bytes // len(filler) + 1)) + reply
        self.answered += 1
        if self.answered == self.config.stall_after:
            # XOFF first: the tty takes it before the answer can be read, so the program
            # cannot slip a write in before its output is stopped.
            self.stalled = True
            out.append(("flow", XOFF))
        if reply:
            out.append(("answer", reply.encode("latin-1")))
        if self.reset_pending:
            self.reset_done = True
            self.dropped_until = now + self.config.drop_seconds

    def reply(self, command):
        """The text that answers a command (also for the silent modem's resets)."""
        self.reset_pending = False
        key = command.upper()
        if key in self.config.answers:
            return lines(*self.config.answers[key])
        if self.config.prompt_only:
            return PROMPT
        for pattern, handler in COMMANDS:
            match = re.fullmatch(pattern, command, re.IGNORECASE)
            if match:
                return handler(self, *match.groups())
        return ERROR

    # --- the commands ---

    def on_basic(self, echo):
        if echo:
            self.echo = echo.upper() == "E1"
        return OK

    def on_cpin_query(self):
        return lines("+CPIN: " + ("READY" if self.pin_given else "SIM PIN")) + OK

    def on_cpin_set(self, pin):
        if self.pin_given:
            return lines("+CME ERROR: 3")
        if pin != self.config.pin:
            return lines("+CME ERROR: 16")
        self.pin_given = True
        return OK

    def on_cfun_query(self):
        return lines("+CFUN: %d" % self.radio_on) + OK

    def on_cfun_test(self):
        second = ",(0-1)" if "cfun" in self.config.resets else ""
        return lines("+CFUN: (0,1,4)" + second) + OK

    def on_cfun_set(self, mode, reset):
        if reset:
            if mode != "1" or "cfun" not in self.config.resets:
                return ERROR
            return self.reset()
        self.radio_on = mode == "1"
        return OK

    def on_e2reset(self, query):
        if "e2reset" not in self.config.resets:
            return ERROR
        return OK if query else self.reset()

    def on_bang_reset(self):
        return self.reset() if "!reset" in self.config.resets else ERROR

    def reset(self):
        self.reset_pending = True
        return OK

    def on_cops_query(self):
        if not self.radio_on:
            return lines("+COPS: 0") + OK
        if self.no_operator > 0:
            self.no_operator -= 1
            return lines("+COPS: 0") + OK
        return lines('+COPS: 0,0,"Test Net"') + OK

    def on_cpms_query(self):
        if self.storage_busy > 0:
            self.storage_busy -= 1
            return lines("+CMS ERROR: 310")
        return lines('+CPMS: "SM",0,30,"SM",0,30,"SM",0,30') + OK

    def on_csms_set(self):
        return lines("+CSMS: 1,1,1") + OK if self.config.csms else ERROR

    def on_csms_query(self):
        return lines("+CSMS: 0,1,1,1") + OK if self.config.csms else ERROR

    def on_cmgf(self, mode):
        return OK if (self.config.pdu_mode, self.config.text_mode)[int(mode)] else ERROR

    def on_cmgs(self):
        if self.config.cmgs != "prompt":
            return lines(self.config.cmgs)
        self.message = ""
        return PROMPT


COMMANDS = (
    (r"(?:\+\+\+)?ATH0?", lambda modem: OK),
    (r"AT(E[01])?(?:V1)?", Modem.on_basic),
    (r"AT\+CPIN\?", Modem.on_cpin_query),
    (r'AT\+CPIN="?([^"]*)"?', Modem.on_cpin_set),
    (r"AT\+CFUN\?", Modem.on_cfun_query),
    (r"AT\+CFUN=\?", Modem.on_cfun_test),
    (r"AT\+CFUN=([014])(,1)?", Modem.on_cfun_set),
    (r"AT\*E2RESET(=\?)?", Modem.on_e2reset),
    (r"AT!RESET", Modem.on_bang_reset),
    (r"AT\+COPS\?", Modem.on_cops_query),
    (r"AT\+CPMS\?", Modem.on_cpms_query),
    (r"AT\+CSMS=(?:0|128)", Modem.on_csms_set),
    (r"AT\+CSMS\?", Modem.on_csms_query),
    (r"AT\+CMGF=([01])", Modem.on_cmgf),
    (r"AT\+CMGS=.+", Modem.on_cmgs),
)


# --- the pseudo-terminal ---

def port_speed(slave):
    return SPEEDS.get(termios.tcgetattr(slave)[5], 0)


def open_port(link, flow_control):
    """A new pty in raw mode, with IXON when the modem is to stop output with XOFF; PATH
    replaced by a link to its slave. Returns (master, slave)."""
    master, slave = os.openpty()
    tty.setraw(slave)
    attrs = termios.tcgetattr(slave)
    attrs[0] = attrs[0] | termios.IXON if flow_control else attrs[0] & ~termios.IXON
    termios.tcsetattr(slave, termios.TCSANOW, attrs)
    temporary = link + ".new"
    if os.path.lexists(temporary):
        os.unlink(temporary)
    os.symlink(os.ttyname(slave), temporary)
    os.replace(temporary, link)
    return master, slave


def send(master, kind, data, trickle):
    if kind == "answer" and trickle:
        for i in range(len(data)):
            time.sleep(trickle)
            os.write(master, data[i:i + 1])
    else:
        os.write(master, data)


def serve(modem, master, slave, clock=time.monotonic):
    """Answers until SIGTERM (SystemExit). Once stalled it still reads (and logs) what
    reaches it, which is nothing while the tty holds the program's output back."""
    while True:
        if select.select([master], [], [], 0.5)[0]:
            data = os.read(master, 4096)
            for kind, chunk in modem.receive(data, port_speed(slave), clock()):
                send(master, kind, chunk, modem.config.trickle)
                if kind == "flow" and not termios.tcgetattr(slave)[0] & termios.IXON:
                    print("modem_sim: IXON is off, XOFF cannot stop the program's output",
                          file=sys.stderr, flush=True)


def parse_speeds(text):
    return frozenset() if text == "none" else frozenset(int(s) for s in text.split(","))


def parse_resets(text):
    resets = frozenset() if text == "none" else frozenset(text.split(","))
    if not resets <= set(RESETS):
        raise argparse.ArgumentTypeError("resets are %s or none" % ",".join(RESETS))
    return resets


def parse_answer(text):
    command, *reply = text.split("|")
    return command.upper(), [line for line in reply if line]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--link", required=True, help="symbolic link to make to the port")
    parser.add_argument("--log", required=True, help="file the commands are logged to")
    parser.add_argument("--personality", default="ok",
                        help="+-joined names of " + ", ".join(PERSONALITIES))
    parser.add_argument("--pin", help="the SIM asks for this PIN")
    parser.add_argument("--speeds", type=parse_speeds, help="e.g. 2400,115200 or none")
    parser.add_argument("--rounds", type=int, help="count of the personality's misbehaviour")
    parser.add_argument("--resets", type=parse_resets, help="of cfun,e2reset,!reset, or none")
    parser.add_argument("--drop-seconds", type=float, help="line drop after a reset")
    parser.add_argument("--trickle-ms", type=float, help="delay before each answer byte")
    parser.add_argument("--long-bytes", type=int, help="information text before every OK")
    parser.add_argument("--answer", action="append", default=[], type=parse_answer,
                        metavar="COMMAND|LINE|LINE", help="fixed reply lines (none: silence)")
    args = parser.parse_args(argv)
    try:
        config = make_config(
            args.personality, pin=args.pin, speeds=args.speeds, rounds=args.rounds,
            resets=args.resets, drop_seconds=args.drop_seconds, long_bytes=args.long_bytes,
            trickle=None if args.trickle_ms is None else args.trickle_ms / 1000.0,
            answers=dict(args.answer))
    except ValueError as error:
        parser.error(str(error))
    with open(args.log, "w", encoding="latin-1") as log:
        def log_command(speed, command):
            log.write("%d\t%s\n" % (speed, escape(command)))
            log.flush()
        modem = Modem(config, log_command)
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
        master, slave = open_port(args.link, config.stall_after > 0)
        try:
            print("ready", flush=True)
            serve(modem, master, slave)
        finally:
            if os.path.islink(args.link) and os.readlink(args.link) == os.ttyname(slave):
                os.unlink(args.link)
    return 0


if __name__ == "__main__":
    sys.exit(main())
