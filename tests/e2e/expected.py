"""What the tool must print and log, letter for letter, for every layer of
the tests. Taken from nothing in the product, so that a typo there fails a
test here. "Eraseing", "Writeing" and "coommand" are the tool's own
spelling, kept because scripts on devices match them."""
import errno
import os

TAG = b"bootnote"
INFO, ERROR = 4, 6  # <android/log.h>'s priorities

BANNER = (b"\n----------------------------------------------\n"
          b"-------- bootnote by bootnote.example --------\n"
          b"----------------------------------------------\n")
USAGE = b"\nUsage : bootnote <path of misc> <boot command>\n\n"
USAGE_ERROR = b"ERROR : Usage : bootnote <path of misc> <boot command>\n"

RECOVERY_RECORD = b"boot-recovery\0"
ERASED_RECORD = bytes(14)


def _b(text):
    return text if isinstance(text, bytes) else os.fsencode(text)


def erasing(path):
    return b"Eraseing boot coommand to partition " + _b(path) + b"\n"


def writing(command, path):
    return b'Writeing boot coommand "' + _b(command) + b'" from partition "' + _b(path) + b'"\n'


def not_found(path):
    return b'ERROR : partition not found "' + _b(path) + b'"\n'


def write_failed(path, why):
    return b'ERROR : write failed on partition "' + _b(path) + b'" : ' + _b(why) + b"\n"


# musl's strerror, which every device build words its errors with.
_MUSL = {
    errno.EIO: "I/O error",
    errno.ENOSPC: "No space left on device",
    errno.EPERM: "Operation not permitted",
    errno.EFBIG: "File too large",
    errno.EACCES: "Permission denied",
    errno.EROFS: "Read-only file system",
    errno.EINVAL: "Invalid argument",
}


def reason(libc, error):
    """strerror(error) as the build's C library says it: "musl", or "glibc"
    (the host build, whose texts are this machine's own)."""
    return _MUSL[error] if libc == "musl" else os.strerror(error)
