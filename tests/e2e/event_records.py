"""Event log records in the platform's EVENTLOGRECORD layout, as the event log host reads
them from a file: a 56-byte header, the source and computer names, the insertion strings
(all NUL-terminated), padding to four bytes and the length again.

Python 3 standard library only.
"""

import struct

ERROR, WARNING, INFORMATION, AUDIT_SUCCESS, AUDIT_FAILURE = 1, 2, 4, 8, 16
SIGNATURE = 0x654C664C  # "LfLe"


def record(number, source, event_type, strings, time_generated, computer="HOST",
           string_offset=None):
    """The bytes of one record; string_offset overrides where the strings are said to be."""
    names = source.encode("latin-1") + b"\0" + computer.encode("latin-1") + b"\0"
    texts = b"".join(s.encode("latin-1") + b"\0" for s in strings)
    body = names + texts
    body += b"\0" * (-len(body) % 4)
    length = 56 + len(body) + 4
    offset = 56 + len(names) if string_offset is None else string_offset
    header = struct.pack("<IIIIIIHHHHIIIIII", length, SIGNATURE, number, time_generated,
                         time_generated, 1000, event_type, len(strings), 0, 0, 0, offset,
                         0, 0, 0, 0)
    return header + body + struct.pack("<I", length)


class RecordFile:
    """A file of records numbered on from 1, as the event log host reads it."""

    def __init__(self, path):
        self.path = path
        self.next = 1
        path.write_bytes(b"")

    def add(self, source, event_type, text, time_generated, **options):
        strings = [] if text is None else [text]
        with open(str(self.path), "ab") as out:
            out.write(record(self.next, source, event_type, strings, time_generated, **options))
        self.next += 1

    def restart(self):
        """The numbering after the log was cleared."""
        self.next = 1
