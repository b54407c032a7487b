"""The test MMS staged with the program (MMSTEST.MMS), read back with a decoder of its own:
an m-send-req of MMS 1.2 whose multipart/related body holds a SMIL presentation, its text and
a GIF picture the SMIL refers to."""

import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
from pathlib import Path

WELL_KNOWN_TYPES = {0x03: "text/plain", 0x1D: "image/gif", 0x1E: "image/jpeg", 0x20: "image/png",
                    0x33: "application/vnd.wap.multipart.related"}
PARAMETER_NAMES = {0x01: "charset", 0x09: "type", 0x0A: "start"}
PART_HEADER_NAMES = {0x0E: "Content-Location", 0x40: "Content-ID"}
MMS_FIELD_NAMES = {0x0C: "X-Mms-Message-Type", 0x18: "X-Mms-Transaction-ID",
                   0x0D: "X-Mms-MMS-Version", 0x09: "From", 0x16: "Subject", 0x17: "To",
                   0x04: "Content-Type"}


class Reader:
    def __init__(self, data):
        self.data, self.at = data, 0

    def left(self):
        return len(self.data) - self.at

    def octet(self):
        assert self.at < len(self.data), "the data ends early"
        self.at += 1
        return self.data[self.at - 1]

    def take(self, count):
        assert self.left() >= count, "the data ends early"
        self.at += count
        return self.data[self.at - count:self.at]

    def peek(self):
        return self.data[self.at]

    def uintvar(self):
        value = 0
        for _ in range(5):
            octet = self.octet()
            value = (value << 7) | (octet & 0x7F)
            if not octet & 0x80:
                return value
        raise AssertionError("a uintvar longer than five octets")

    def text(self):
        end = self.data.index(b"\x00", self.at)
        raw = self.data[self.at:end]
        self.at = end + 1
        return raw[1:] if raw[:1] in (b"\x7f", b'"') else raw

    def value(self):
        """Any header value by its first octet: ('short', n), ('text', bytes) or
        ('long', bytes) for a value with a length."""
        first = self.peek()
        if first >= 0x80:
            return "short", self.octet() & 0x7F
        if first >= 32:
            return "text", self.text()
        self.octet()
        return "long", self.take(first if first < 31 else self.uintvar())


def content_type(reader):
    """(media type, {parameter: value}) of a WSP content-type value."""
    kind, value = reader.value()
    if kind == "short":
        return WELL_KNOWN_TYPES.get(value, "0x%02x" % value), {}
    if kind == "text":
        return value.decode("ascii"), {}
    inner = Reader(value)
    media, _ = content_type(inner) if inner.peek() >= 32 else (None, None)
    parameters = {}
    while inner.left():
        name = PARAMETER_NAMES.get(inner.octet() & 0x7F, "?")
        kind, parameter = inner.value()
        parameters[name] = parameter.decode("ascii") if kind == "text" else (
            parameter if kind == "short" else int.from_bytes(parameter, "big"))
    return media, parameters


def decode_mms(data):
    """(header fields in order, content type, [parts]); each part a dict with its content type,
    parameters, headers and data."""
    reader, fields = Reader(data), []
    while True:
        code = reader.octet()
        assert code & 0x80, "a header field that is not well known: 0x%02x" % code
        name = MMS_FIELD_NAMES.get(code & 0x7F, "0x%02x" % code)
        if name == "Content-Type":
            break
        fields.append((name, reader.value()))
    body_type = content_type(reader)
    parts = []
    for _ in range(reader.uintvar()):
        header_length, data_length = reader.uintvar(), reader.uintvar()
        headers = Reader(reader.take(header_length))
        media, parameters = content_type(headers)
        part = {"type": media, "parameters": parameters}
        while headers.left():
            name = PART_HEADER_NAMES.get(headers.octet() & 0x7F, "?")
            kind, value = headers.value()
            assert kind == "text", (name, kind, value)
            part[name] = value.decode("ascii")
        part["data"] = reader.take(data_length)
        parts.append(part)
    assert reader.left() == 0, "%d octets after the last part" % reader.left()
    return fields, body_type, parts


def decode_gif(data):
    """(width, height, palette size, colour indices) of a single-image GIF, decoding its LZW
    stream in full."""
    assert data[:6] in (b"GIF87a", b"GIF89a"), data[:6]
    width, height = int.from_bytes(data[6:8], "little"), int.from_bytes(data[8:10], "little")
    flags = data[10]
    assert flags & 0x80, "no global colour table"
    colours = 2 << (flags & 7)
    at = 13 + 3 * colours
    assert data[at] == 0x2C, "no image descriptor where expected"
    assert (int.from_bytes(data[at + 5:at + 7], "little"),
            int.from_bytes(data[at + 7:at + 9], "little")) == (width, height)
    assert data[at + 9] & 0x80 == 0, "a local colour table was not expected"
    min_size, at = data[at + 10], at + 11
    stream = b""
    while data[at]:
        stream += data[at + 1:at + 1 + data[at]]
        at += 1 + data[at]
    assert data[at + 1:] == b"\x3b", "the trailer does not follow the image"
    bits = int.from_bytes(stream, "little")
    clear, end = 1 << min_size, (1 << min_size) + 1
    position, pixels, table, width_bits, previous = 0, [], None, 0, None
    while True:
        if table is None:
            table = [[i] for i in range(clear)] + [None, None]
            width_bits, previous = min_size + 1, None
        assert position + width_bits <= len(stream) * 8, "the stream has no end code"
        code = (bits >> position) & ((1 << width_bits) - 1)
        position += width_bits
        if code == clear:
            table = None
            continue
        if code == end:
            break
        if previous is None:
            entry = table[code]
        else:
            assert code <= len(table), "code %d beyond the table" % code
            entry = table[code] if code < len(table) else previous + previous[:1]
            if len(table) < 4096:
                table.append(previous + entry[:1])
            if len(table) == (1 << width_bits) and width_bits < 12:
                width_bits += 1
        pixels += entry
        previous = entry
    return width, height, colours, pixels


def staged_file(rig):
    path = rig.install_source / "MMSTEST.MMS"
    assert path.exists(), "the build did not stage MMSTEST.MMS"
    return path.read_bytes()


def test_the_message_is_a_send_request_of_mms_1_2(rig):
    fields, (media, parameters), parts = decode_mms(staged_file(rig))
    names = [name for name, _ in fields]
    assert names[:3] == ["X-Mms-Message-Type", "X-Mms-Transaction-ID", "X-Mms-MMS-Version"], names
    values = dict(fields)
    assert values["X-Mms-Message-Type"] == ("short", 0), "not m-send-req"
    assert values["X-Mms-Transaction-ID"][0] == "text" and values["X-Mms-Transaction-ID"][1]
    assert values["X-Mms-MMS-Version"] == ("short", 0x12), "not version 1.2"
    assert values["From"] == ("long", b"\x81"), "From is not the insert-address token"
    assert values["Subject"] == ("text", b"QelSMS Test Message")
    assert media == "application/vnd.wap.multipart.related", media
    assert parameters == {"type": "application/smil", "start": "<smil>"}, parameters
    # content type, parameters, Content-ID, Content-Location of each part
    expected = [("application/smil", {}, "<smil>", "smil.smil"),
                ("text/plain", {"charset": 106}, "<text>", "text.txt"),
                ("image/gif", {}, "<image>", "image.gif")]
    assert [(p["type"], p["parameters"], p.get("Content-ID"), p.get("Content-Location"))
            for p in parts] == expected
    assert parts[1]["data"].decode("utf-8") == "This is a test message from QelSMS."


def test_the_presentation_shows_the_picture_and_the_text(rig):
    _, (_, parameters), parts = decode_mms(staged_file(rig))
    start = [p for p in parts if p["Content-ID"] == parameters["start"]]
    assert len(start) == 1 and start[0]["type"] == "application/smil"
    smil = ElementTree.fromstring(start[0]["data"])
    regions = {r.get("id") for r in smil.iter("region")}

    def referred(src):
        found = [p for p in parts if src in (p["Content-Location"],
                                             "cid:" + p["Content-ID"].strip("<>"))]
        assert len(found) == 1, "%s refers to no part" % src
        return found[0]["type"]
    media = [(element.tag, referred(element.get("src"))) for element in smil.iter()
             if element.get("src")]
    assert sorted(media) == [("img", "image/gif"), ("text", "text/plain")], media
    assert all(e.get("region") in regions for e in smil.iter() if e.get("src"))
    xmllint = shutil.which("xmllint")
    if xmllint:
        with tempfile.NamedTemporaryFile(suffix=".smil") as copy:
            copy.write(start[0]["data"])
            copy.flush()
            done = subprocess.run([xmllint, "--noout", copy.name], stderr=subprocess.PIPE)
            assert done.returncode == 0, done.stderr


def test_the_picture_decodes(rig):
    image = decode_mms(staged_file(rig))[2][2]["data"]
    width, height, colours, pixels = decode_gif(image)
    assert 8 <= width <= 640 and 8 <= height <= 480, (width, height)
    assert len(pixels) == width * height and max(pixels) < colours
    assert len(set(pixels)) > 1, "a picture of one colour"
    identify = shutil.which("identify")
    if identify:
        with tempfile.NamedTemporaryFile(suffix=".gif") as copy:
            copy.write(image)
            copy.flush()
            done = subprocess.run([identify, "-format", "%m %w %h", copy.name],
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            assert (done.returncode, done.stderr) == (0, ""), done.stderr
            assert done.stdout.split() == ["GIF", str(width), str(height)], done.stdout


def test_every_build_makes_the_same_bytes(rig):
    script = Path(__file__).resolve().parents[2] / "tools" / "make_test_mms.py"
    with tempfile.TemporaryDirectory(prefix="qel-mms-") as work:
        made = []
        for name in ("first.mms", "second.mms"):
            subprocess.run([sys.executable, str(script), str(Path(work) / name)], check=True)
            made.append((Path(work) / name).read_bytes())
    assert made[0] == made[1] == staged_file(rig)
