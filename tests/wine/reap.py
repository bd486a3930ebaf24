#!/usr/bin/env python3
"""reap.py CMD [ARGS...]: runs CMD as a child subreaper and exits with its status.

Wine's background processes (services.exe, explorer.exe, ...) are orphans. PID 1
on these machines reaps orphans only about once a second, and wineserver, when
told to stop, waits for its clients to vanish: each prefix teardown then costs
~0.5 s. Adopting and reaping them at once makes it ~50 ms.
"""
import ctypes
import os
import signal
import sys
import time

PR_SET_CHILD_SUBREAPER = 36


def main(argv):
    if not argv:
        print("usage: reap.py CMD [ARGS...]", file=sys.stderr)
        return 2
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        os.execvp(argv[0], argv)  # no subreaper: run it plainly, only slower
    pid = os.fork()
    if pid == 0:
        try:
            os.execvp(argv[0], argv)
        except OSError as e:
            print(f"reap.py: {argv[0]}: {e.strerror}", file=sys.stderr)
            os._exit(127)

    def forward(sig, _frame):
        try:
            os.kill(pid, sig)
        except ProcessLookupError:
            pass

    for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT):
        signal.signal(s, forward)

    status = None
    deadline = None
    while True:
        try:
            if deadline is None:
                p, st = os.wait()
            else:
                p, st = os.waitpid(-1, os.WNOHANG)
                if p == 0:
                    if time.monotonic() > deadline:
                        break
                    time.sleep(0.01)
                    continue
        except ChildProcessError:
            break
        except InterruptedError:
            continue
        if p == pid:
            status = os.waitstatus_to_exitcode(st)
            # Leftover descendants get a moment to finish; we do not wait for
            # daemons that outlive the command on purpose.
            deadline = time.monotonic() + 1.0
    if status is None:
        return 1
    return status if status >= 0 else 128 - status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
