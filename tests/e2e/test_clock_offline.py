#!/usr/bin/env python3
"""With only loopback up, Wine reports no connection and no dial-up entry:
the monitor asks no server and logs nothing."""
import subprocess
import time

from clock_e2e import MonitorTest, main

INTERVAL_S = 1.5  # VornFast.exe


class Offline(MonitorTest):
    def test_offline_machine_asks_no_server(self):
        routes = subprocess.run(["ip", "route"], stdout=subprocess.PIPE, check=True).stdout
        self.assertNotIn(b"default", routes, "not an offline namespace")
        mon = self.start_monitor()
        time.sleep(4 * INTERVAL_S + 1)
        self.assertEqual(self.servers.requests, [])
        self.assertEqual(mon.set_requests(), [])
        # RasEnumConnections worked (no connections): nothing to log.
        self.assertIsNone(mon.log())
        self.assertAlive(mon)


if __name__ == "__main__":
    main(offline=True)
