#!/usr/bin/env python3
"""DAYTIME (port 13) test servers, one per loopback address, run in threads.

    with DaytimeServers() as srv:            # binds 127.0.0.11..14:13
        srv.set("time-a-g.nist.gov", "nist", skew=-30)
        srv.set(1, "silent")                 # by index, name or address
        ...
        srv.requests_for(0)                  # what the program asked

Behaviours (srv.set(server, mode, **params); takes effect for the next
connection; "refuse" closes the listener at once):
  nist        NIST line at UTC + skew seconds.   skew=0, tt=None (automatic US
              DST code), leap=0, health=0, adv=50.0, delay=0 (seconds before
              answering); at=datetime instead of skew: that UTC time at the
              moment of set(), going on from there
  refuse      no listener: connect gets "connection refused"
  silent      accept, read the request, never answer; the socket is held until
              release() or stop()
  stall       the NIST line (as nist), then keep the connection open without
              another byte; held like silent
  close       accept, read the request, close without a byte
  reset       accept, read the request, close with RST
  garbage     LF + 64 bytes of seeded noise + LF.   seed=0, size=64
  big         LF + NIST line, padded with 'x' to size bytes.   size=4096
  two_pieces  NIST line in two sends gap seconds apart.   gap=0.5, split=None
              (default: the middle of the line)
  empty       just an empty line: "\\n\\n" (reads as "\\n" through WinINet)
  raw         data=bytes sent as is (no leading LF added)

Each request records the server time of the NIST line it was sent (`sent`).
The monitor ignores server times near midnight: in_midnight_band() says which,
clear_skew() picks a skew that keeps a test's servers out of that band.

Every reply that carries data starts with a line feed, as NIST's do: Wine's
WinINet takes the first line of a raw reply for a missing HTTP status line.
"""
import argparse
import datetime as _dt
import random
import selectors
import signal
import socket
import struct
import threading
import time
from dataclasses import dataclass, field

SERVERS = (
    ("time-a-g.nist.gov", "127.0.0.11"),
    ("time-a-wwv.nist.gov", "127.0.0.12"),
    ("utcnist.colorado.edu", "127.0.0.13"),
    ("time-b-wwv.nist.gov", "127.0.0.14"),
)
MODES = ("nist", "refuse", "silent", "stall", "close", "reset", "garbage", "big",
         "two_pieces", "empty", "raw")
_MJD_EPOCH = _dt.date(1858, 11, 17).toordinal()


def mjd(day):
    """Modified Julian Day number of a date."""
    return day.toordinal() - _MJD_EPOCH


def _us_dst_change_days(year):
    """(start, end) dates of US daylight saving time (rules since 2007)."""
    def nth_sunday(month, n):
        first = _dt.date(year, month, 1)
        return first + _dt.timedelta(days=(6 - first.weekday()) % 7 + 7 * (n - 1))
    return nth_sunday(3, 2), nth_sunday(11, 1)


def nist_tt(day):
    """NIST's TT field: 00 standard time, 50 DST; in the month of a change it
    counts down by one a day and is 51 (spring) or 1 (autumn) on the day itself."""
    start, end = _us_dst_change_days(day.year)
    if day.month == start.month and day <= start:
        return 51 + (start - day).days
    if day.month == end.month and day <= end:
        return 1 + (end - day).days
    return 50 if start < day < end else 0


def nist_line(when, tt=None, leap=0, health=0, adv=50.0):
    """The NIST DAYTIME reply for a UTC datetime, leading and trailing LF included."""
    day = when.date()
    if tt is None:
        tt = nist_tt(day)
    return ("\n%05d %s %02d %d %d %5.1f UTC(NIST) * \n" % (
        mjd(day), when.strftime("%y-%m-%d %H:%M:%S"), tt, leap, health, adv)).encode("ascii")


def utc_now(skew=0.0):
    return _dt.datetime.fromtimestamp(int(time.time() + skew), _dt.timezone.utc)


# The monitor takes server times from 00:02:00 through 23:58:00 only, so that
# a reply and a clock on either side of midnight never disagree about the date.
FIRST_SECOND, LAST_SECOND = 120, 86280
_DAY = 86400


def in_midnight_band(when):
    """Whether the monitor ignores a server time (a datetime, or seconds since 1970)."""
    seconds = int(when.timestamp() if isinstance(when, _dt.datetime) else when)
    return not FIRST_SECOND <= seconds % _DAY <= LAST_SECOND


def clear_of_midnight(start, duration):
    """Whether every whole-second server time from start to start + duration
    (seconds since 1970) lies outside the band."""
    first, last = int(start), int(start + duration)
    after, before = FIRST_SECOND - 1, _DAY - LAST_SECOND - 1  # band seconds each side
    # The first midnight whose band does not end before `first`.
    midnight = -((after - first) // _DAY) * _DAY
    return midnight - before > last


def clear_skew(magnitude, duration, now=None, most=None):
    """A skew for servers that must be believed for `duration` seconds from
    `now` (default: the current time): +magnitude or -magnitude when either
    keeps every server time out of the midnight band, else the smallest larger
    one up to `most` (default magnitude + 810, so 90 becomes at most 900)."""
    now = time.time() if now is None else now
    most = magnitude + 810 if most is None else most
    for size in range(magnitude, most + 1):
        for skew in (size, -size):
            if clear_of_midnight(now + skew, duration):
                return skew
    raise ValueError("no skew of %d..%d s is clear of midnight for %d s" % (magnitude, most, duration))


@dataclass
class Request:
    server: str          # name of the server whose address was connected to
    address: str         # 127.0.0.x
    host: str            # Host header ("" when none came)
    time: float          # time.time() when the connection was accepted
    mono: float          # time.monotonic() at the same moment
    mode: str            # behaviour in force for this connection
    data: bytes = b""    # the request bytes as received
    peer: tuple = ()
    params: dict = field(default_factory=dict)  # the mode's parameters
    sent: _dt.datetime = None  # the server time of the NIST line sent, if one was


@dataclass
class _Server:
    name: str
    address: str
    mode: str = "nist"
    params: dict = field(default_factory=dict)
    listener: socket.socket = None


class DaytimeServers:
    def __init__(self, port=13, servers=SERVERS, default="nist"):
        self.port = port
        self._servers = [_Server(n, a, default) for n, a in servers]
        self._lock = threading.RLock()
        self._requests = []
        self._cond = threading.Condition(self._lock)
        self._held = []           # sockets kept open by "silent" and "stall"
        self._threads = []
        self._sel = None
        self._stop = threading.Event()
        self._wake_r, self._wake_w = socket.socketpair()

    # -- life cycle ----------------------------------------------------------
    def start(self):
        self._sel = selectors.DefaultSelector()
        self._sel.register(self._wake_r, selectors.EVENT_READ, None)
        with self._lock:
            for s in self._servers:
                if s.mode != "refuse":
                    self._listen(s)
        t = threading.Thread(target=self._accept_loop, name="daytime-accept", daemon=True)
        t.start()
        self._accept_thread = t
        return self

    def stop(self):
        self._stop.set()
        self._wake()
        self._accept_thread.join(5)
        with self._lock:
            for s in self._servers:
                self._unlisten(s)
            self.release()
        for t in list(self._threads):
            t.join(2)
        self._sel.close()
        self._wake_r.close()
        self._wake_w.close()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # -- control -------------------------------------------------------------
    def server(self, which):
        """A server by index (0..3), name or address."""
        if isinstance(which, int):
            return self._servers[which]
        for s in self._servers:
            if which in (s.name, s.address):
                return s
        raise KeyError(which)

    def set(self, which, mode, **params):
        """Sets the behaviour of one server ("all" for every one)."""
        if mode not in MODES:
            raise ValueError("unknown mode %r" % mode)
        if "at" in params:
            params["skew"] = params.pop("at").timestamp() - time.time()
        targets = self._servers if which == "all" else [self.server(which)]
        with self._lock:
            for s in targets:
                s.mode, s.params = mode, dict(params)
                if self._sel is None:
                    continue
                if mode == "refuse":
                    self._unlisten(s)
                elif s.listener is None:
                    self._listen(s)
        self._wake()

    def release(self):
        """Closes the connections held by "silent" and "stall" servers."""
        with self._lock:
            held, self._held = self._held, []
        for c in held:
            try:
                c.close()
            except OSError:
                pass

    # -- what was asked ------------------------------------------------------
    @property
    def requests(self):
        with self._lock:
            return list(self._requests)

    def requests_for(self, which):
        s = self.server(which)
        return [r for r in self.requests if r.address == s.address]

    def clear_requests(self):
        with self._lock:
            self._requests.clear()

    def wait_requests(self, count, timeout, which=None):
        """Waits until at least count requests (to one server, or all) came;
        returns them, or raises TimeoutError with what did come."""
        deadline = time.monotonic() + timeout
        with self._cond:
            while True:
                got = self._requests if which is None else \
                    [r for r in self._requests if r.address == self.server(which).address]
                if len(got) >= count:
                    return list(got)
                left = deadline - time.monotonic()
                if left <= 0:
                    raise TimeoutError("%d of %d requests after %.1f s: %r"
                                       % (len(got), count, timeout, got))
                self._cond.wait(left)

    # -- internals -----------------------------------------------------------
    def _wake(self):
        try:
            self._wake_w.send(b"x")
        except OSError:
            pass

    def _listen(self, s):
        ls = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        ls.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        ls.bind((s.address, self.port))
        ls.listen(16)
        ls.setblocking(False)
        s.listener = ls
        self._sel.register(ls, selectors.EVENT_READ, s)

    def _unlisten(self, s):
        if s.listener is not None:
            try:
                self._sel.unregister(s.listener)
            except (KeyError, ValueError):
                pass
            s.listener.close()
            s.listener = None

    def _accept_loop(self):
        while not self._stop.is_set():
            for key, _ in self._sel.select(0.5):
                if key.data is None:
                    self._wake_r.recv(4096)
                    continue
                s = key.data
                with self._lock:
                    if s.listener is not key.fileobj:
                        continue          # closed by set(..., "refuse") meanwhile
                    try:
                        conn, peer = s.listener.accept()
                    except (BlockingIOError, OSError):
                        continue
                    mode, params = s.mode, dict(s.params)
                t = threading.Thread(target=self._serve, args=(s, conn, peer, mode, params),
                                     name="daytime-%s" % s.address, daemon=True)
                self._threads = [x for x in self._threads if x.is_alive()] + [t]
                t.start()

    @staticmethod
    def _read_request(conn):
        # WinINet sends a complete HTTP request and waits; read it so that a
        # later close is a clean FIN, not an RST over unread data.
        conn.settimeout(1.0)
        data = b""
        try:
            while b"\r\n\r\n" not in data and len(data) < 16384:
                chunk = conn.recv(4096)
                if not chunk:
                    break
                data += chunk
        except OSError:
            pass
        conn.settimeout(None)
        return data

    @staticmethod
    def _host_of(data):
        for line in data.split(b"\r\n")[1:]:
            if line.lower().startswith(b"host:"):
                return line[5:].strip().decode("latin-1")
        return ""

    def _serve(self, s, conn, peer, mode, p):
        accepted, mono = time.time(), time.monotonic()
        data = self._read_request(conn)
        request = Request(s.name, s.address, self._host_of(data), accepted, mono, mode, data,
                          peer, p)
        # The server time of a line sent at once is known before the request
        # is seen: a test that reads it may not find it missing.
        if mode in ("nist", "stall", "big", "two_pieces") and not p.get("delay"):
            request.sent = utc_now(p.get("skew", 0.0))
        with self._cond:
            self._requests.append(request)
            self._cond.notify_all()
        try:
            if mode == "silent":
                with self._lock:
                    self._held.append(conn)
                return
            if mode == "reset":
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                return
            if p.get("delay"):
                if self._stop.wait(p["delay"]):
                    return
            def line():
                if request.sent is None or p.get("delay"):
                    request.sent = utc_now(p.get("skew", 0.0))
                return nist_line(request.sent, p.get("tt"), p.get("leap", 0),
                                 p.get("health", 0), p.get("adv", 50.0))
            if mode in ("nist", "stall"):
                conn.sendall(line())
                if mode == "stall":
                    with self._lock:
                        self._held.append(conn)
                    return
            elif mode == "garbage":
                rnd = random.Random(p.get("seed", 0))
                conn.sendall(b"\n" + bytes(rnd.randrange(256) for _ in range(p.get("size", 64))) + b"\n")
            elif mode == "big":
                size = p.get("size", 4096)
                body = line()
                conn.sendall(body + b"x" * max(0, size - len(body) - 1) + b"\n")
            elif mode == "two_pieces":
                body = line()
                cut = p.get("split") or len(body) // 2
                conn.sendall(body[:cut])
                if self._stop.wait(p.get("gap", 0.5)):
                    return
                conn.sendall(body[cut:])
            elif mode == "empty":
                conn.sendall(b"\n\n")
            elif mode == "raw":
                conn.sendall(p.get("data", b""))
            # "close": nothing to send
            conn.shutdown(socket.SHUT_WR)
            # Let the client read to the end before the socket goes.
            conn.settimeout(2.0)
            try:
                while conn.recv(4096):
                    pass
            except OSError:
                pass
        except OSError:
            pass
        finally:
            with self._lock:
                held = conn in self._held
            if not held:
                conn.close()


def main():
    ap = argparse.ArgumentParser(description="Run the DAYTIME test servers until interrupted.")
    ap.add_argument("--port", type=int, default=13)
    ap.add_argument("--mode", action="append", default=[],
                    help="SERVER=MODE[,key=value...], SERVER an index, name, address or 'all'")
    args = ap.parse_args()
    with DaytimeServers(args.port) as srv:
        for setting in args.mode:
            who, _, rest = setting.partition("=")
            mode, *kvs = rest.split(",")
            params = {}
            for kv in kvs:
                k, _, v = kv.partition("=")
                try:
                    params[k] = float(v) if "." in v else int(v)
                except ValueError:
                    params[k] = v.encode() if k == "data" else v
            srv.set(int(who) if who.isdigit() else who, mode, **params)
        print("daytime servers ready", flush=True)
        signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt))
        try:
            while True:
                time.sleep(3600)
        except KeyboardInterrupt:
            pass
        for r in srv.requests:
            print("%s %s host=%s mode=%s" % (r.address, r.server, r.host, r.mode), flush=True)


if __name__ == "__main__":
    main()
