"""The world around one run of the shipped binary: a bwrap sandbox whose
private /dev holds what the run is given (a stand-in for logd, the kernel
logger, pstore), the run with a time limit, and what it left behind."""
import os
import select
import signal
import subprocess
import time
from pathlib import Path
from dataclasses import dataclass, field

import entries


@dataclass
class Run:
    status: int = None
    out: bytes = b""
    err: bytes = b""
    seconds: float = 0.0
    started: int = 0  # real time, whole seconds, as the entries are stamped
    ended: int = 0
    logd: list = field(default_factory=list)
    kernel: list = field(default_factory=list)
    pmsg: list = field(default_factory=list)
    trace: list = field(default_factory=list)  # strace's lines, pids cut off


def run(argv, workdir, dev, logd=None, kernel_logger=False, pmsg=False, out="file",
        prelude=(), time_limit=10):
    """Runs argv in the sandbox, in `workdir`, the log's files and the run's
    output kept in `dev` (where a Logd's directory belongs too). out: "file"
    (kept), "closed", "full" (/dev/full) or "gone" (a pipe whose reader has
    gone)."""
    os.makedirs(dev, exist_ok=True)
    sandbox = ["bwrap", "--die-with-parent", "--bind", "/", "/", "--dev", "/dev"]
    if logd:
        sandbox += ["--bind", logd.directory, "/dev/socket"]
    if kernel_logger:
        sandbox += ["--bind", _device_file(dev + "/log/main"), "/dev/log/main"]
    if pmsg:
        sandbox += ["--bind", _device_file(dev + "/pmsg0"), "/dev/pmsg0"]
    sandbox += ["--chdir", workdir, "--"]
    prelude = list(prelude) + (["exec >&-"] if out == "closed" else [])
    if prelude:  # closed inside: bwrap itself would reuse a closed descriptor 1
        sandbox += ["sh", "-c", "\n".join(prelude) + '\nexec "$@"', "sh"]
    stdout_path = os.path.join(dev, "stdout")
    result = Run(started=int(time.time()))
    start = time.monotonic()
    with open(stdout_path, "wb") as kept, open(dev + "/stderr", "wb") as err:
        if out == "full":
            stdout = os.open("/dev/full", os.O_WRONLY)
        elif out == "gone":
            reader, stdout = os.pipe()
            os.close(reader)
        else:
            stdout = kept
        try:
            process = subprocess.Popen(sandbox + argv, stdin=subprocess.DEVNULL, stdout=stdout,
                                       stderr=err, start_new_session=True)
        finally:
            if out in ("full", "gone"):
                os.close(stdout)
        while process.poll() is None:
            if time.monotonic() - start > time_limit:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
                raise TimeoutError("killed after %d s, still running (a hang?)" % time_limit)
            select.select(logd.waitable() if logd else [], [], [], 0.005)
            if logd:
                logd.receive()
    result.seconds, result.ended, result.status = (time.monotonic() - start, int(time.time()),
                                                   process.returncode)
    if logd:
        logd.receive(after_the_run=True)
        result.logd = logd.entries
    result.out = Path(stdout_path).read_bytes() if out == "file" else b""
    result.err = Path(dev + "/stderr").read_bytes()
    if kernel_logger:
        result.kernel = entries.kernel_entries(Path(dev + "/log/main").read_bytes())
    if pmsg:
        result.pmsg = entries.pmsg_records(Path(dev + "/pmsg0").read_bytes())
    return result


def _device_file(path):
    """An empty file anyone may write, standing for a character device."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").close()
    os.chmod(path, 0o666)
    return path
