"""USERS.DAT and VASPUSERS.DAT read and written from the tests: a 32-byte header (magic,
version 1, header size, record size, count, generation, CRC-32 of the header's first 28
bytes and the records) and fixed-size records, little-endian."""

import struct
import zlib

USER_RECORD = 522
VASP_RECORD = 511


def _text(data, offset, width):
    return data[offset:offset + width].split(b"\0", 1)[0].decode("cp1252")


def _field(text, width):
    raw = text.encode("cp1252")
    assert len(raw) < width
    return raw + b"\0" * (width - len(raw))


def user_record(name, full_name="", password="", web_login=True, smpp=False, ip="",
                menu=0xB0, admin=False, accept=False):
    record = bytearray(USER_RECORD)
    record[0:51] = _field(name, 51)
    record[51:102] = _field(password, 51)
    record[102:203] = _field(full_name, 101)
    record[203] = 0 if web_login else 1
    record[204] = 1 if smpp else 0
    record[225:275] = _field(ip, 50)
    record[419] = menu
    record[420] = 0x6A if admin else 0
    record[421] = 1 if accept else 0
    return bytes(record)


def _write(path, magic, size, records):
    header = struct.pack("<8s5I", magic, 1, 32, size, len(records), 1)
    body = b"".join(records)
    crc = zlib.crc32(body, zlib.crc32(header)) & 0xFFFFFFFF
    path.write_bytes(header + struct.pack("<I", crc) + body)


def _read(path, magic, size):
    if not path.exists():
        return []
    data = path.read_bytes()
    assert data[:8] == magic, data[:8]
    count = struct.unpack_from("<I", data, 20)[0]
    assert len(data) == 32 + count * size
    return [data[32 + i * size:32 + (i + 1) * size] for i in range(count)]


def write_users(env, records):
    _write(env.data / "USERS.DAT", b"QELUSERS", USER_RECORD, records)


def read_users(env):
    """The stored records, in file order."""
    return _read(env.data / "USERS.DAT", b"QELUSERS", USER_RECORD)


def user_names(env):
    return [_text(r, 0, 51) for r in read_users(env)]


def read_vasp_users(env):
    return _read(env.data / "VASPUSERS.DAT", b"QELVASPU", VASP_RECORD)


def vasp_names(env):
    return [_text(r, 0, 51) for r in read_vasp_users(env)]
