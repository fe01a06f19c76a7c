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
    filled before the run, never read. refusing: the socket file is there,
    nobody is bound to it. restarting / vanishing: after the first entry a new
    socket is bound at the same path / the socket is gone."""

    def __init__(self, mode, directory):
        assert mode in LOGD_MODES, mode
        self.mode, self.directory = mode, directory
        self.path = os.path.join(directory, "logdw")
        self.entries, self.fd = [], None
        os.makedirs(directory, mode=0o755)  # every user may reach it, as /dev/socket
        self._bind()
        if mode == "queue_full":
            self._fill()
        if mode == "refusing":
            self._stop()

    def _bind(self):
        if os.path.lexists(self.path):
            os.unlink(self.path)
        self.fd = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.fd.bind(self.path)
        self.fd.setsockopt(socket.SOL_SOCKET, socket.SO_PASSCRED, 1)
        self.fd.setblocking(False)
        os.chmod(self.path, 0o666)

    def _stop(self):
        self.fd.close()
        self.fd = None

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
        return [] if self.fd is None or self.mode == "queue_full" else [self.fd]

    def receive(self):
        while self.fd is not None and self.mode != "queue_full":
            try:
                data, ancillary, _, _ = self.fd.recvmsg(65536, socket.CMSG_SPACE(_CREDENTIALS))
            except BlockingIOError:
                return
            pid = uid = None
            for level, kind, value in ancillary:
                if (level, kind) == (socket.SOL_SOCKET, socket.SCM_CREDENTIALS):
                    pid, uid, _ = struct.unpack("iII", value[:_CREDENTIALS])
            self.entries.append(entries.logd_entry(data, pid, uid))
            if len(self.entries) == 1 and self.mode in ("restarting", "vanishing"):
                self._stop()  # what was still queued dies with the old socket
                os.unlink(self.path)
                if self.mode == "restarting":
                    self._bind()
