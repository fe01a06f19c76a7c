"""The one decoder of the entries the log writer sends: logd's datagrams,
the kernel logger's entries and pstore's copies. Raises ValueError, naming
the fault, on bytes that are not well formed."""
import struct
from dataclasses import dataclass
from typing import Optional

LOGD_HEADER = 11  # u8 log id, u16 thread id, u32 seconds, u32 nanoseconds
PMSG_HEADER = 7   # 'l', u16 length of the whole record, u16 uid, u16 pid


@dataclass
class Entry:
    priority: int
    tag: bytes
    message: bytes
    log_id: Optional[int] = None  # logd's header fields; None from the kernel logger
    tid: Optional[int] = None
    seconds: Optional[int] = None
    nanoseconds: Optional[int] = None
    pid: Optional[int] = None     # the sender's credentials, where a socket gave them
    uid: Optional[int] = None


def _payload(data, at):
    """priority, tag NUL, message NUL at `at`: (priority, tag, message, end)."""
    if at >= len(data):
        raise ValueError("no priority byte")
    tag_end = data.find(b"\0", at + 1)
    if tag_end < 0:
        raise ValueError("tag without NUL")
    message_end = data.find(b"\0", tag_end + 1)
    if message_end < 0:
        raise ValueError("message without NUL")
    return data[at], data[at + 1:tag_end], data[tag_end + 1:message_end], message_end + 1


def logd_entry(datagram, pid=None, uid=None):
    """One datagram sent to logd's socket."""
    if len(datagram) < LOGD_HEADER:
        raise ValueError("datagram shorter than its header: %r" % datagram)
    log_id, tid, seconds, nanoseconds = struct.unpack_from("<BHII", datagram)
    priority, tag, message, end = _payload(datagram, LOGD_HEADER)
    if end != len(datagram):
        raise ValueError("bytes after the message's NUL: %r" % datagram)
    return Entry(priority, tag, message, log_id, tid, seconds, nanoseconds, pid, uid)


def kernel_entries(data):
    """The kernel logger's entries, written one after another."""
    entries, at = [], 0
    while at < len(data):
        priority, tag, message, at = _payload(data, at)
        entries.append(Entry(priority, tag, message))
    return entries


@dataclass
class PmsgRecord:
    magic: int
    length: int  # as its header says
    uid: int
    pid: int
    size: int    # as found
    entry: Entry


def pmsg_records(data):
    """pstore's copies (/dev/pmsg0), one after another: header, then the
    logd datagram, which ends at its message's NUL."""
    records, at = [], 0
    while at < len(data):
        if len(data) - at < PMSG_HEADER + LOGD_HEADER:
            raise ValueError("record shorter than its headers")
        magic, length, uid, pid = struct.unpack_from("<BHHH", data, at)
        _, _, _, end = _payload(data, at + PMSG_HEADER + LOGD_HEADER)
        entry = logd_entry(data[at + PMSG_HEADER:end])
        records.append(PmsgRecord(magic, length, uid, pid, end - at, entry))
        at = end
    return records
