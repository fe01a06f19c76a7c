"""A stand-in for logd: its socket, as the log writer finds it at
/dev/socket/logdw, and the entries it received, decoded."""
import os
import socket
import struct

import entries

LOGD_MODES = ("normal", "queue_full", "refusing", "restarting", "vanishing")
_CREDENTIALS = struct.calcsize("iII")


class Logd:
    """logd's socket, bound at /dev/socket/logdw inside the sandbox. queue_full:
    filled before the run and read only after it (its filler left out).
    refusing: the socket file is there, nobody is bound to it. restarting /
    vanishing: after the first entry a new socket is bound at the same path /
    the socket is gone."""

    def __init__(self, mode, directory):
        assert mode in LOGD_MODES, mode
        self.mode, self.directory = mode, directory
        self.path = os.path.join(directory, "logdw")
        self.entries, self.sock = [], None
        os.makedirs(directory, mode=0o755)  # every user may reach it, as /dev/socket
        self._bind()
        if mode == "queue_full":
            self._fill()
        if mode == "refusing":
            self.close()

    def _bind(self):
        if os.path.lexists(self.path):
            os.unlink(self.path)
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.sock.bind(self.path)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_PASSCRED, 1)
        self.sock.setblocking(False)
        os.chmod(self.path, 0o666)

    def close(self):
        if self.sock:
            self.sock.close()
        self.sock = None

    def _fill(self):
        with socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM) as client:
            client.connect(self.path)
            client.setblocking(False)
            try:
                while True:
                    client.send(b"\0" * 11 + b"\4filler\0queued\0")
            except BlockingIOError:
                pass

    def waitable(self):
        return [] if self.sock is None or self.mode == "queue_full" else [self.sock]

    def _next(self):
        """The next queued entry, or None."""
        try:
            data, ancillary, _, _ = self.sock.recvmsg(65536, socket.CMSG_SPACE(_CREDENTIALS))
        except BlockingIOError:
            return None
        pid = uid = None
        for level, kind, value in ancillary:
            if (level, kind) == (socket.SOL_SOCKET, socket.SCM_CREDENTIALS):
                pid, uid, _ = struct.unpack("iII", value[:_CREDENTIALS])
        return entries.logd_entry(data, pid, uid)

    def receive(self, after_the_run=False):
        """Takes what is queued; a full queue only once the run is over."""
        while self.sock is not None and (self.mode != "queue_full" or after_the_run):
            entry = self._next()
            if entry is None:
                return
            if entry.tag != b"filler":
                self.entries.append(entry)
            if len(self.entries) == 1 and self.mode in ("restarting", "vanishing"):
                if self._next() is not None:  # it would die with the old socket, unseen
                    raise ValueError("the second entry came before logd could go (%s)" % self.mode)
                self.close()
                os.unlink(self.path)
                if self.mode == "restarting":
                    self._bind()
