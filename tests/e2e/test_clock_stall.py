#!/usr/bin/env python3
"""A server that sends its line and keeps the connection open cannot hold the
monitor: the read is under the watchdog too, the worker is left (Wine's WinINet
never wakes it, as it would on Windows when the session is closed) and the
next check asks the next server. Told to quit in the middle of such a check,
the monitor is gone within the watchdog and a second. A proxy set in the
user's Internet settings is never asked: DAYTIME cannot go through one."""
import socket
import threading
import time

from clock_e2e import MonitorTest, clear_skew, main, report
from daytime_server import SERVERS
from vornwine import wait_until

INTERVAL_S = 1.5  # VornFast.exe
WATCHDOG_S = 10.0
INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
PROXY = ("127.0.0.9", 8080)


class StallingServer(MonitorTest):
    def test_stalled_read_is_cut_and_the_monitor_quits_within_the_watchdog(self):
        self.servers.set("all", "nist", skew=clear_skew(90, 60))
        self.servers.set(0, "stall")
        mon = self.start_monitor()
        stalled = self.servers.wait_requests(1, 20, which=0)[0]
        following = self.servers.wait_requests(1, WATCHDOG_S + 5, which=1)[0]
        gap = following.mono - stalled.mono
        report("stalled request to the next server's", "%.2f s" % gap)
        self.assertGreater(gap, WATCHDOG_S)
        self.assertLess(gap, WATCHDOG_S + INTERVAL_S + 1.0)

        # Every server stalls now: quit while a check waits on one.
        self.servers.set("all", "stall")
        seen = len(self.servers.requests)
        got = self.servers.wait_requests(seen + 1, 10)
        while got[-1].mode != "stall":
            got = self.servers.wait_requests(len(got) + 1, 10)
        asked = time.monotonic()
        self.assertTrue(self.wp.post_quit("Vorn Titlebar", timeout=2))
        self.assertEqual(mon.proc.wait(WATCHDOG_S + 5), 0)
        took = time.monotonic() - asked
        report("quit in the middle of a stalled check", "%.2f s" % took)
        self.assertLess(took, WATCHDOG_S + 1.0)
        self.assertIsNone(mon.log())

    def test_proxy_in_the_internet_settings_is_never_asked(self):
        proxy = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        proxy.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        proxy.bind(PROXY)
        proxy.listen(8)
        self.addCleanup(proxy.close)
        asked = []

        def accept():
            try:
                while True:
                    conn, _ = proxy.accept()
                    asked.append(conn.recv(4096))
                    conn.close()
            except OSError:
                pass

        threading.Thread(target=accept, daemon=True).start()
        self.wp.reg_add(INTERNET_SETTINGS, "ProxyEnable", "1", type="REG_DWORD")
        self.wp.reg_add(INTERNET_SETTINGS, "ProxyServer", "%s:%d" % PROXY)
        self.servers.set("all", "nist", skew=clear_skew(90, 60))
        mon = self.start_monitor()
        # Server 1 holds its step, server 2 confirms it: both asked directly.
        got = self.servers.wait_requests(2, 20)
        wait_until(mon.set_requests, 5, what="a clock change")
        self.assertEqual(asked, [])
        self.assertEqual([r.server for r in got[:2]], [SERVERS[0][0], SERVERS[1][0]])
        self.assertAlive(mon)


if __name__ == "__main__":
    main()
