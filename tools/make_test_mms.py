#!/usr/bin/env python3
"""Builds MMSTEST.MMS, the test MMS the program puts into the gateway's outbound MMS queue.

    python3 tools/make_test_mms.py OUTPUT

The file is an m-send-req PDU in the binary encoding of MMS 1.2 (headers as WSP well-known
field codes, the body as a WSP multipart): message type, transaction id, version, From as the
insert-address token (the gateway fills in its own address), a subject and the content type
application/vnd.wap.multipart.related with type=application/smil and start=<smil>. No To: the
recipient is given when the message is sent. The body has three parts: a SMIL presentation
showing the picture above the text, the text (text/plain, UTF-8) and a small GIF picture drawn
here. The output is the same bytes on every build. Python 3 standard library only.
"""

import sys
from pathlib import Path

TRANSACTION_ID = "QELSMS-TEST-0001"
SUBJECT = "QelSMS Test Message"
TEXT = "This is a test message from QelSMS."

# MMS header fields (well-known codes with the high bit set) and the values used here.
MMS_MESSAGE_TYPE, MMS_TRANSACTION_ID, MMS_VERSION = 0x8C, 0x98, 0x8D
MMS_FROM, MMS_SUBJECT, MMS_CONTENT_TYPE = 0x89, 0x96, 0x84
M_SEND_REQ = 0x80
VERSION_1_2 = 0x80 | (1 << 4) | 2
INSERT_ADDRESS_TOKEN = 0x81

# WSP well-known content types, parameters and part header fields.
CT_MULTIPART_RELATED = 0x80 | 0x33
CT_TEXT_PLAIN = 0x80 | 0x03
CT_IMAGE_GIF = 0x80 | 0x1D
PARAM_CHARSET, PARAM_TYPE, PARAM_START = 0x81, 0x89, 0x8A
CHARSET_UTF8 = 0x80 | 106  # IANA MIBenum of UTF-8 as a short integer
HDR_CONTENT_LOCATION, HDR_CONTENT_ID = 0x8E, 0xC0

IMAGE_WIDTH, IMAGE_HEIGHT = 48, 32
PALETTE = [(0xFF, 0xFF, 0xFF), (0x1F, 0x4E, 0x9A), (0xF2, 0xA9, 0x00), (0x20, 0x20, 0x20)]

SMIL = """<smil>
<head>
<layout>
<root-layout width="160" height="120"/>
<region id="Image" left="0" top="0" width="160" height="80" fit="meet"/>
<region id="Text" left="0" top="80" width="160" height="40" fit="scroll"/>
</layout>
</head>
<body>
<par dur="5000ms">
<img src="image.gif" region="Image"/>
<text src="text.txt" region="Text"/>
</par>
</body>
</smil>
"""


def uintvar(value):
    """WSP variable-length unsigned integer: 7 bits an octet, most significant first, the
    continuation bit set on all octets but the last."""
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def text_string(text):
    """Text-string: NUL-terminated; a text starting with an octet of 128 or more gets a quote
    octet (127) in front so it is not read as a well-known value."""
    data = text.encode("utf-8")
    return (b"\x7f" if data[:1] >= b"\x80" else b"") + data + b"\x00"


def value_length(length):
    """Value-length: a short length (0..30) in one octet, otherwise 31 and a uintvar."""
    return bytes([length]) if length <= 30 else b"\x1f" + uintvar(length)


def general_form(body):
    """A value in its general form: its length, then the value."""
    return value_length(len(body)) + body


def draw_picture():
    """Colour indices of the picture, row by row: a dark frame round a blue field with an
    amber square in the middle."""
    pixels = []
    for y in range(IMAGE_HEIGHT):
        for x in range(IMAGE_WIDTH):
            if x in (0, IMAGE_WIDTH - 1) or y in (0, IMAGE_HEIGHT - 1):
                pixels.append(3)
            elif 16 <= x < 32 and 8 <= y < 24:
                pixels.append(2)
            else:
                pixels.append(1)
    return pixels


def lzw_codes(pixels, min_code_size):
    """(code, width in bits) pairs of the GIF LZW stream: a clear code first, the end code
    last. The width grows one code after the table reaches the next power of two, as the
    decoder adds each entry one code later than the encoder does."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1

    def reset():
        return {bytes([i]): i for i in range(clear)}, end + 1, min_code_size + 1

    table, next_code, width = reset()
    codes = [(clear, width)]
    prefix = b""
    for pixel in pixels:
        candidate = prefix + bytes([pixel])
        if candidate in table:
            prefix = candidate
            continue
        codes.append((table[prefix], width))
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            codes.append((clear, width))
            table, next_code, width = reset()
        prefix = bytes([pixel])
    codes.append((table[prefix], width))
    codes.append((end, width))
    return codes


def pack_codes(codes):
    """Codes packed least significant bit first into data sub-blocks of at most 255 octets,
    ended by an empty block."""
    packed, accumulator, bits = bytearray(), 0, 0
    for code, width in codes:
        accumulator |= code << bits
        bits += width
        while bits >= 8:
            packed.append(accumulator & 0xFF)
            accumulator >>= 8
            bits -= 8
    if bits:
        packed.append(accumulator)
    blocks = bytearray()
    for start in range(0, len(packed), 255):
        chunk = packed[start:start + 255]
        blocks += bytes([len(chunk)]) + chunk
    return bytes(blocks + b"\x00")


def make_gif():
    min_code_size = 2  # four colours
    size = IMAGE_WIDTH.to_bytes(2, "little") + IMAGE_HEIGHT.to_bytes(2, "little")
    screen = size + bytes([0xF1, 0, 0])  # global colour table of 2^(1+1) entries
    palette = b"".join(bytes(rgb) for rgb in PALETTE)
    descriptor = b"\x2c" + bytes(4) + size + b"\x00"
    data = bytes([min_code_size]) + pack_codes(lzw_codes(draw_picture(), min_code_size))
    return b"GIF89a" + screen + palette + descriptor + data + b"\x3b"


def part(content_type, content_id, location, data):
    """One multipart entry: header length, data length, content type and headers, data."""
    headers = (content_type + bytes([HDR_CONTENT_ID]) + b'"' + text_string(content_id) +
               bytes([HDR_CONTENT_LOCATION]) + text_string(location))
    return uintvar(len(headers)) + uintvar(len(data)) + headers + data


def make_mms():
    content_type = general_form(bytes([CT_MULTIPART_RELATED, PARAM_TYPE]) +
                                text_string("application/smil") +
                                bytes([PARAM_START]) + text_string("<smil>"))
    headers = (bytes([MMS_MESSAGE_TYPE, M_SEND_REQ]) +
               bytes([MMS_TRANSACTION_ID]) + text_string(TRANSACTION_ID) +
               bytes([MMS_VERSION, VERSION_1_2]) +
               bytes([MMS_FROM]) + general_form(bytes([INSERT_ADDRESS_TOKEN])) +
               bytes([MMS_SUBJECT]) + text_string(SUBJECT) +
               bytes([MMS_CONTENT_TYPE]) + content_type)  # the content type comes last
    parts = [
        part(text_string("application/smil"), "<smil>", "smil.smil", SMIL.encode("utf-8")),
        part(general_form(bytes([CT_TEXT_PLAIN, PARAM_CHARSET, CHARSET_UTF8])), "<text>",
             "text.txt", TEXT.encode("utf-8")),
        part(bytes([CT_IMAGE_GIF]), "<image>", "image.gif", make_gif()),
    ]
    return headers + uintvar(len(parts)) + b"".join(parts)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_test_mms.py OUTPUT\n")
        return 2
    Path(argv[1]).write_bytes(make_mms())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
