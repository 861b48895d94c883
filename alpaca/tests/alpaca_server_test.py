"""End-to-end tests of alpaca_light_dimmer: the Alpaca protocol, the
CoverCalibrator members, the device traffic behind them, and the program
itself. See alpaca_test_support for what runs."""

import fcntl
import json
import os
import re
import socket
import subprocess
import threading
import time
import unittest

from alpaca_test_support import BASE, SLOW, WINE, Dimmer, Server, ServerTestCase, free_port

# Members that answer NotConnected until the client connects.
GATED = [("GET", "brightness"), ("GET", "calibratorstate"), ("GET", "calibratorchanging"),
         ("GET", "coverstate"), ("GET", "covermoving"), ("GET", "maxbrightness"),
         ("GET", "devicestate"), ("PUT", "calibratoroff"), ("PUT", "opencover"),
         ("PUT", "closecover"), ("PUT", "haltcover")]


class ProtocolTest(ServerTestCase):
    def test_requests_it_cannot_take_are_refused_in_plain_text(self):
        for method, path, status in [
                ("GET", "/api/v1/telescope/0/name", 400),
                ("GET", "/api/v1/covercalibrator/1/name", 400),
                ("GET", "/api/v1/CoverCalibrator/0/name", 400),
                ("GET", "/api/v1/covercalibrator/0/Name", 400),
                ("GET", "/api/v1/covercalibrator/0/warpdrive", 400),
                ("GET", "/api/v2/covercalibrator/0/name", 400),
                ("GET", "/api/v1/covercalibrator/0", 400),
                ("PUT", "/api/v1/covercalibrator/0/name", 400),
                ("GET", "/api/v1/covercalibrator/0/calibratoron", 400),
                ("POST", "/api/v1/covercalibrator/0/calibratoron", 400),
                ("GET", "/favicon.ico", 404)]:
            reply = self.server.request(method, path)
            self.assertEqual(reply.status, status, path)
            self.assertTrue(reply.content_type.startswith("text/plain"), path)
            self.assertGreater(len(reply.text.strip()), 10, path)

    def test_envelope_and_transaction_numbers(self):
        first = self.server.get("name", ClientTransactionID=77)
        self.assertEqual((first.value, first.json["ClientTransactionID"], first.error,
                          first.json["ErrorMessage"]), ("USB Light Dimmer", 77, 0, ""))
        # Names in any case for GET; only a valid number is echoed.
        self.assertEqual(self.server.request("GET", BASE + "name", {"clienttransactionid": 5})
                         .json["ClientTransactionID"], 5)
        for bad in ["0", "-1", "4294967296", "x"]:
            self.assertEqual(self.server.get("name", ClientTransactionID=bad)
                             .json["ClientTransactionID"], 0)
        # PUT names are matched exactly: a mis-cased ID is not one.
        reply = self.server.put("connected", Connected="True", clienttransactionid=9)
        self.assertEqual((reply.status, reply.json["ClientTransactionID"]), (200, 0))
        # GET parameters come from the query string alone, PUT ones from the body.
        self.assertEqual(self.server.request(
            "GET", BASE + "name?ClientTransactionID=3", body="ClientTransactionID=4").json[
                "ClientTransactionID"], 3)
        self.assertEqual(self.server.request("PUT", BASE + "calibratoron?Brightness=5",
                                             body="ClientID=1").status, 400)
        later = self.server.get("name")
        self.assertGreater(later.json["ServerTransactionID"], first.json["ServerTransactionID"])

    def test_parameters_that_are_not_what_they_take_are_refused(self):
        self.server.connect()
        for value in ["", "abc", "300.5", "1e3", "0x10", " 5", "5 ", "2147483648", "+-5"]:
            reply = self.server.put("calibratoron", Brightness=value)
            self.assertEqual(reply.status, 400, repr(value))
        for name in ["brightness", "BRIGHTNESS"]:
            self.assertEqual(self.server.put("calibratoron", **{name: "5"}).status, 400)
        self.assertEqual(self.server.put("calibratoron").status, 400)
        for value in ["yes", "1", "", "Truee"]:
            self.assertEqual(self.server.put("connected", Connected=value).status, 400, value)
        for value in ["TRUE", "false"]:
            self.assertEqual(self.server.put("connected", Connected=value).status, 200, value)
        self.assertEqual(self.dimmer.changes()[-1], "close")  # and it still serves

    def test_management_and_setup(self):
        self.assertEqual(self.server.request("GET", "/management/apiversions").value, [1])
        description = self.server.request("GET", "/management/v1/description").value
        self.assertEqual(set(description), {"ServerName", "Manufacturer", "ManufacturerVersion",
                                            "Location"})
        self.assertRegex(description["ManufacturerVersion"], r"^\d+\.\d+\.\d+$")
        devices = self.server.request("GET", "/management/v1/configureddevices").value
        self.assertEqual(len(devices), 1)
        device = devices[0]
        self.assertEqual((device["DeviceName"], device["DeviceType"], device["DeviceNumber"]),
                         ("USB Light Dimmer", "CoverCalibrator", 0))
        self.assertRegex(device["UniqueID"], r"^[0-9a-f]{8}-([0-9a-f]{4}-){3}[0-9a-f]{12}$")
        self.server.stop()
        self.server = Server(self.dimmer)
        again = self.server.request("GET", "/management/v1/configureddevices").value[0]
        self.assertEqual(again["UniqueID"], device["UniqueID"])
        for path in ["/setup", "/setup/v1/covercalibrator/0/setup"]:
            reply = self.server.request("GET", path)
            self.assertEqual(reply.status, 200)
            self.assertIn("<html", reply.text)


class MembersTest(ServerTestCase):
    def test_without_a_connection_only_the_descriptive_members_answer(self):
        for member, value in [("description", None), ("driverinfo", None),
                              ("driverversion", None), ("interfaceversion", 2),
                              ("name", "USB Light Dimmer"), ("supportedactions", []),
                              ("connected", False), ("connecting", False)]:
            reply = self.server.get(member)
            self.assertEqual(reply.error, 0, member)
            if value is not None:
                self.assertEqual(reply.value, value, member)
        self.assertRegex(self.server.get("driverversion").value, r"^\d+\.\d+$")
        for method, member in GATED + [("PUT", "action"), ("PUT", "commandblind")]:
            params = {"Brightness": 5, "Action": "x", "Parameters": "", "Command": "x",
                      "Raw": "False"}
            reply = self.server.request(method, BASE + member, dict(ClientID=1, **params))
            self.assertEqual(reply.error, 0x407, member)
        reply = self.server.put("calibratoron", Brightness=5)
        self.assertEqual(reply.error, 0x407)
        self.assertEqual(self.dimmer.traffic(), [])  # no device touched

    def test_what_it_has_and_has_not(self):
        self.server.connect()
        for member, value in [("coverstate", 0), ("covermoving", False),
                              ("maxbrightness", 1023), ("calibratorstate", 1),
                              ("brightness", 0)]:
            self.assertEqual(self.server.get(member).value, value, member)
        for member in ["opencover", "closecover", "haltcover"]:
            self.assertEqual(self.server.put(member).error, 0x400, member)
        self.assertEqual(self.server.put("action", Action="x", Parameters="").error, 0x40C)
        for member in ["commandblind", "commandbool", "commandstring"]:
            self.assertEqual(self.server.put(member, Command="x", Raw="True").error, 0x400)
        state = {entry["Name"]: entry["Value"] for entry in self.server.get("devicestate").value}
        self.assertEqual(set(state), {"Brightness", "CalibratorState", "CoverState",
                                      "CalibratorChanging", "CoverMoving", "TimeStamp"})

    def test_each_client_connects_for_itself(self):
        self.server.connect(client=1)
        # Platform 7's asynchronous connect, by a second client.
        self.assertEqual(self.server.put("connect", client=2).error, 0)
        self.server.wait_for("connecting", False, client=2)
        self.assertTrue(self.server.get("connected", client=2).value)
        self.assertEqual(self.server.put("disconnect", client=1).error, 0)
        self.server.wait_for("connecting", False, client=1)
        self.assertFalse(self.server.get("connected", client=1).value)
        self.assertEqual(self.server.get("brightness", client=1).error, 0x407)
        self.assertEqual(self.server.get("brightness", client=2).error, 0)
        self.assertNotIn("close", self.dimmer.traffic())
        self.server.put("connected", client=2, Connected="False")
        self.assertEqual(self.dimmer.traffic().count("open"), 1)
        self.assertEqual(self.dimmer.traffic()[-1], "close")


class ConnectFailureTest(unittest.TestCase):
    def check(self, settings, message, hold_lock=False, asynchronous=False):
        dimmer = Dimmer(settings)
        server = Server(dimmer)
        try:
            lock = None
            if hold_lock:
                lock = open(dimmer.path("node"), "a")
                fcntl.flock(lock, fcntl.LOCK_EX)
            replies = []
            connecting = threading.Thread(
                target=lambda: replies.append(server.put("connected", Connected="True")))
            connecting.start()
            if hold_lock:
                # While it waits for the dimmer, other clients are answered.
                time.sleep(0.2 * SLOW)
                began = time.monotonic()
                self.assertEqual(server.get("name", client=3).error, 0)
                self.assertLess(time.monotonic() - began, 1 * SLOW)
            connecting.join()
            reply = replies[0]
            self.assertTrue(0x500 <= reply.error <= 0xFFF, reply.text)
            self.assertIn(message, reply.json["ErrorMessage"])
            if not asynchronous:
                return
            # The asynchronous connect reports the same when Connecting is read.
            server.put("connect", client=2)
            deadline = time.monotonic() + 10 * SLOW
            while (reply := server.get("connecting", client=2)).error == 0 and reply.value:
                self.assertLess(time.monotonic(), deadline)
                time.sleep(0.05)
            self.assertIn(message, reply.json["ErrorMessage"])
            self.assertFalse(server.get("connected", client=2).value)
        finally:
            self.assertEqual(server.stop(), 0)
            dimmer.remove()

    def test_no_dimmer(self):
        self.check(["DIMMER_SIM_ABSENT=1"], "No dimmer is attached.", asynchronous=True)

    def test_not_permitted(self):
        self.check(["DIMMER_SIM_LOCKED=1"], "is attached but could not be opened")

    @unittest.skipIf(WINE, "the Windows lock is a named mutex, which no Linux process can take")
    def test_in_use_by_another_program(self):
        self.check([], "in use by another program", hold_lock=True)


class CalibratorTest(ServerTestCase):
    settings = ["DIMMER_SIM_BUSY=5"]  # half a second of busy polls per change

    def quorlet_traffic(self, intensity, *args):
        """What `quorlet ARGS` sends to a dimmer at `intensity`."""
        other = Dimmer(["DIMMER_SIM_BUSY=5", "DIMMER_SIM_INTENSITY=%d" % intensity])
        try:
            other.quorlet(*args)
            return [line for line in other.changes()
                    if line not in ("open", "close")]
        finally:
            other.remove()

    def device_state(self):
        return {entry["Name"]: entry["Value"] for entry in self.server.get("devicestate").value}

    def test_on_returns_at_once_and_is_ready_when_the_dimmer_is_idle(self):
        self.server.connect()
        self.assertEqual(self.device_state()["CalibratorState"], 1)
        start = len(self.dimmer.traffic())
        began = time.monotonic()
        self.assertEqual(self.server.put("calibratoron", Brightness=300).error, 0)
        self.assertLess(time.monotonic() - began, 0.1 * SLOW)
        self.assertEqual(self.server.get("calibratorstate").value, 2)  # NotReady
        self.assertTrue(self.server.get("calibratorchanging").value)
        # DeviceState tells the same at once, though it was read before.
        state = self.device_state()
        self.assertEqual((state["CalibratorState"], state["CalibratorChanging"]), (2, True))
        self.server.wait_for("calibratorstate", 3)
        self.assertFalse(self.server.get("calibratorchanging").value)
        self.assertEqual(self.server.get("brightness").value, 300)
        self.assertEqual(self.device_state()["Brightness"], 300)
        self.assertEqual(self.dimmer.changes(start), self.quorlet_traffic(0, "300"))
        # Off keeps the level for the next on, as quorlet does.
        start = len(self.dimmer.traffic())
        self.server.put("calibratoroff")
        self.assertEqual(self.server.get("calibratorstate").value, 2)
        self.server.wait_for("calibratorstate", 1)
        self.assertEqual(self.server.get("brightness").value, 0)
        self.assertEqual(self.dimmer.changes(start), self.quorlet_traffic(300, "0"))
        self.assertEqual(self.dimmer.quorlet().stdout, "light is off\n")

    def test_on_at_zero_is_ready_with_the_dimmer_at_zero(self):
        self.server.connect()
        self.server.put("calibratoron", Brightness=500)
        self.server.wait_for("calibratorstate", 3)
        self.server.put("calibratoron", Brightness=0)
        self.server.wait_for("calibratorchanging", False)
        self.assertEqual((self.server.get("calibratorstate").value,
                          self.server.get("brightness").value), (3, 0))
        self.assertEqual(self.dimmer.quorlet().stdout, "light is off\n")

    def test_out_of_range_is_refused_and_changes_nothing(self):
        self.server.connect()
        start = len(self.dimmer.traffic())
        for brightness in [-1, 1024, 2147483647, -2147483648]:
            self.assertEqual(self.server.put("calibratoron", Brightness=brightness).error, 0x401)
        self.assertEqual(self.server.get("calibratorstate").value, 1)
        self.assertEqual(self.dimmer.changes(start), [])

    def test_requests_during_a_change_wait_and_the_latest_wins(self):
        self.server.connect()
        start = len(self.dimmer.traffic())
        self.server.put("calibratoron", Brightness=100)
        time.sleep(0.15)  # the change is under way
        self.server.put("calibratoron", Brightness=200)
        self.server.put("calibratoron", Brightness=300)
        self.server.wait_for("calibratorchanging", False, timeout=5)
        self.assertEqual(self.server.get("brightness").value, 300)
        sent = [line for line in self.dimmer.changes(start) if line.startswith("setinten")]
        self.assertEqual(sent, ["setinten 100", "setinten 300"])

    def test_a_request_while_the_dimmer_is_lost_fails_at_once(self):
        self.server.connect()
        self.assertIn("CalibratorChanging", self.device_state())
        self.dimmer.unplug()
        self.server.wait_for("calibratorstate", 5)
        self.assertNotIn("CalibratorChanging", self.device_state())
        for member, params in [("calibratoron", {"Brightness": 5}), ("calibratoroff", {})]:
            reply = self.server.put(member, **params)
            self.assertTrue(0x500 <= reply.error <= 0xFFF, reply.text)
        self.assertTrue(0x500 <= self.server.get("calibratorchanging").error <= 0xFFF)


class FaultMatrixTest(unittest.TestCase):
    """Every exchange of a change failing in each way: Error with a reason,
    nothing more sent, and the next request works."""

    def test_every_exchange_in_every_way(self):
        for command, count in [("setinten", 1), ("setstate", 1), ("getstate", 1),
                               ("getstate", 2)]:
            for kind in ["write", "read", "timeout"]:
                with self.subTest(command=command, count=count, kind=kind):
                    self.check("%s:%d:%s" % (command, count, kind))

    def check(self, fault):
        dimmer = Dimmer(["DIMMER_SIM_BUSY=1", "DIMMER_SIM_FAIL=" + fault,
                         "DIMMER_SIM_INSTANT_SLEEP=1"])
        server = Server(dimmer)
        try:
            server.connect()
            server.put("calibratoron", Brightness=400)
            server.wait_for("calibratorstate", 5)
            changing = server.get("calibratorchanging")
            self.assertTrue(0x500 <= changing.error <= 0xFFF, changing.text)
            self.assertIn("did not", changing.json["ErrorMessage"])
            self.assertIn(changing.json["ErrorMessage"], server.log())
            changes = dimmer.changes()
            failed = next(i for i, line in enumerate(changes) if "[" in line)
            self.assertEqual(changes[failed + 1:], [], "sent after the failure")
            server.put("calibratoron", Brightness=400)
            server.wait_for("calibratorstate", 3)
            self.assertEqual(dimmer.quorlet().stdout, "light is on, intensity 400\n")
        finally:
            self.assertEqual(server.stop(), 0)
            dimmer.remove()


class SharingTest(ServerTestCase):
    settings = ["DIMMER_SIM_BUSY=2"]  # so that quorlet comes in the middle of a change

    def test_what_other_programs_do_shows_and_no_answer_is_taken_for_another(self):
        self.server.connect()
        self.assertEqual(self.dimmer.quorlet("640").returncode, 0)
        self.assertLess(self.server.wait_for("brightness", 640), 2)
        for level in range(5):
            self.server.put("calibratoron", Brightness=100 + level)
            self.assertEqual(self.dimmer.quorlet(str(200 + level)).returncode, 0)
            self.assertEqual(self.dimmer.quorlet().returncode, 0)
        self.server.wait_for("calibratorchanging", False)
        # tearDown fails on any foreign answer

    def test_clients_polling_do_not_reach_the_dimmer(self):
        self.server.connect()
        start = len(self.dimmer.traffic())
        stop = threading.Event()
        counts = []

        def poll():
            count = 0
            while not stop.is_set():
                self.server.get("calibratorstate")
                count += 1
            counts.append(count)

        pollers = [threading.Thread(target=poll) for _ in range(64)]
        began = time.monotonic()
        for poller in pollers:
            poller.start()
        time.sleep(3)
        stop.set()
        for poller in pollers:
            poller.join()
        seconds = time.monotonic() - began
        reads = self.dimmer.traffic()[start:].count("getinten")
        self.assertGreater(sum(counts), 100)
        self.assertLessEqual(reads, seconds + 1)  # one refresh a second

    def test_unplugged_and_plugged_in_again(self):
        # Logging every request, so that requests are logged while the
        # server looks for the dimmer, quietly (ThreadSanitizer's leg).
        self.server.stop()
        self.server = Server(self.dimmer, "--verbose")
        self.server.connect()
        self.server.put("calibratoron", Brightness=700)
        self.server.wait_for("calibratorstate", 3)
        self.dimmer.unplug()
        self.assertLess(self.server.wait_for("calibratorstate", 5), 2)
        self.assertEqual(self.server.get("brightness").value, 700)  # the last known
        time.sleep(2)
        self.dimmer.unplug(False)
        self.assertLess(self.server.wait_for("calibratorstate", 3), 3)
        log = self.server.log()
        self.assertEqual(log.count("stopped answering"), 1, log)
        self.assertEqual(log.count("answers again"), 1, log)


class ProgramTest(unittest.TestCase):
    def run_server(self, *args):
        runner = os.environ.get("DIMMER_TEST_RUNNER", "").split()
        return subprocess.run(runner + [os.environ["ALPACA_SERVER"], *args], capture_output=True,
                              text=True, timeout=10 * SLOW)

    def test_command_line(self):
        self.assertIn("--discovery-port", self.run_server("--help").stdout)
        self.assertRegex(self.run_server("--version").stdout, r"^alpaca_light_dimmer \d")
        for args in [["--port", "0"], ["--port", "65536"], ["--port"], ["--bogus"],
                     ["--discovery-port", "x"], ["--simulation=1"], ["--address", ""],
                     ["--simulated-dimmers", "5"], ["--simulated-dimmers", "0"]]:
            result = self.run_server(*args)
            self.assertEqual(result.returncode, 2, args)
            self.assertIn("Usage: alpaca_light_dimmer", result.stderr)
        # --service belongs to Windows's service control manager, which did
        # not start this run: one line says so.
        result = self.run_server("--service", "--port", str(free_port()))
        self.assertEqual((result.returncode, result.stderr.count("\n")), (1, 1), result.stderr)
        self.assertIn("--service", result.stderr)

    def test_a_port_in_use_ends_it_at_once(self):
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen()
            port = taken.getsockname()[1]
            result = self.run_server("--simulation", "--address", "127.0.0.1", "--port",
                                     str(port), "--discovery-port", "0")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.count("\n"), 1, result.stderr)
        self.assertIn("127.0.0.1, port %d" % port, result.stderr)

    def test_simulates_several_dimmers(self):
        dimmer = Dimmer(["DIMMER_SIM_ABSENT=1"])
        server = Server(dimmer, "--simulated-dimmers", "2")
        try:
            names = [device["DeviceName"] for device in
                     server.request("GET", "/management/v1/configureddevices").value]
            self.assertEqual(names, ["USB Light Dimmer SIM-1", "USB Light Dimmer SIM-2"])
            reply = server.request("PUT", "/api/v1/covercalibrator/1/connected",
                                   dict(ClientID=1, Connected="True"))
            self.assertEqual(reply.error, 0, reply.text)
        finally:
            self.assertEqual(server.stop(), 0)
            dimmer.remove()

    def test_stops_cleanly_with_a_change_under_way(self):
        dimmer = Dimmer(["DIMMER_SIM_BUSY=10"])
        server = Server(dimmer, "--verbose", discovery=True)
        try:
            server.connect()
            server.put("calibratoron", Brightness=321)
            # Bytes beyond ASCII reach the log escaped, never as they came.
            with socket.create_connection(("127.0.0.1", server.port), timeout=10 * SLOW) as raw:
                raw.sendall(b"GET /caf\xc3\xa9\x9b HTTP/1.1\r\nHost: x\r\n\r\n")
                self.assertTrue(raw.recv(100).startswith(b"HTTP/1.1 404 "))
            self.assertEqual(server.stop(), 0)
            self.assertEqual(dimmer.traffic()[-1], "close")
            # The lock is free: quorlet gets the dimmer at once.
            self.assertEqual(dimmer.quorlet().returncode, 0)
            log = server.log()
            start_line = log.splitlines()[0]
            for part in ["port %d" % server.port, "UDP port %d" % server.discovery_port]:
                self.assertIn(part, start_line)
            self.assertIn("PUT /api/v1/covercalibrator/0/calibratoron 200", log)
            self.assertIn("GET /caf\\xc3\\xa9\\x9b 404", log)
        finally:
            dimmer.remove()

    def test_requests_are_logged_only_when_asked_for(self):
        dimmer = Dimmer()
        server = Server(dimmer)
        try:
            server.get("name")
            self.assertEqual(server.stop(), 0)
            self.assertNotIn("/api/v1", server.log())
        finally:
            dimmer.remove()

    def test_discovery(self):
        for address in ["127.0.0.1", None]:  # None: every interface, IPv6 too
            dimmer = Dimmer()
            server = Server(dimmer, discovery=True, address=address)
            try:
                port = server.discovery_port
                targets = [(socket.AF_INET, ("127.0.0.1", port))]
                if address is None:
                    targets.append((socket.AF_INET, ("255.255.255.255", port)))
                    targets.append((socket.AF_INET6, ("::1", port)))
                    # The multicast group, on an interface that carries it.
                    targets += [(socket.AF_INET6, ("ff12::a1:9aca", port, 0, index))
                                for index, name in socket.if_nameindex() if name != "lo"]
                for family, target in targets:
                    with socket.socket(family, socket.SOCK_DGRAM) as client:
                        client.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
                        client.settimeout(2 * SLOW)
                        try:
                            client.sendto(b"alpacadiscovery1", target)
                        except OSError:  # no route for it on this machine
                            continue
                        try:
                            answer, _ = client.recvfrom(100)
                        except socket.timeout:
                            # Multicast is tried on every interface, and
                            # only some carry it.
                            self.assertTrue(target[0].startswith("ff12"), target)
                            continue
                        self.assertEqual(json.loads(answer), {"AlpacaPort": server.port})
                        client.sendto(b"something else", target)
                        client.settimeout(0.3)
                        with self.assertRaises(socket.timeout):
                            client.recvfrom(100)
            finally:
                self.assertEqual(server.stop(), 0)
                dimmer.remove()


class SeveralDimmersTest(unittest.TestCase):
    """Two units, B2 and A1 in the order the system lists them: each is a
    device of its own, numbered in the order of their IDs, and keeps its
    number and UniqueID over restarts while it is absent."""

    def setUp(self):
        self.dimmer = Dimmer(["DIMMER_SIM_SERIALS=B2,A1"])
        self.server = Server(self.dimmer)

    def tearDown(self):
        self.assertEqual(self.server.stop(), 0, self.server.log())
        self.assertNotIn("foreign answer", self.dimmer.traffic())
        self.dimmer.remove()

    def call(self, method, number, member, **params):
        return self.server.request(method, "/api/v1/covercalibrator/%d/%s" % (number, member),
                                   dict(ClientID=1, **params))

    def devices(self):
        return [(device["DeviceNumber"], device["DeviceName"], device["UniqueID"]) for device in
                self.server.request("GET", "/management/v1/configureddevices").value]

    def test_each_unit_is_a_device_that_keeps_its_number(self):
        devices = self.devices()
        self.assertEqual([device[:2] for device in devices],
                         [(0, "USB Light Dimmer A1"), (1, "USB Light Dimmer B2")])
        self.assertNotEqual(devices[0][2], devices[1][2])
        self.assertEqual(self.call("GET", 1, "name").value, "USB Light Dimmer B2")
        self.assertEqual(self.call("GET", 2, "name").status, 400)
        for number, level in [(0, 300), (1, 700)]:
            self.assertEqual(self.call("PUT", number, "connected", Connected="True").error, 0)
            self.assertEqual(self.call("PUT", number, "calibratoron", Brightness=level).error, 0)
        for number, unit, level in [(0, "A1", 300), (1, "B2", 700)]:
            deadline = time.monotonic() + 3 * SLOW
            while self.call("GET", number, "calibratorstate").value != 3:
                self.assertLess(time.monotonic(), deadline)
                time.sleep(0.02)
            self.assertEqual(self.dimmer.quorlet("--dimmer", unit).stdout,
                             "light is on, intensity %d\n" % level)
        traffic = self.dimmer.traffic()
        self.assertEqual([line for line in traffic if "setinten" in line],
                         ["2: setinten 300", "1: setinten 700"])

        # A1 unplugged, the server restarted with a third unit: A1 stays
        # device 0 and says it is absent, C3 takes the next number, and A1
        # works again once it is back.
        self.server.stop()
        self.dimmer.environment["DIMMER_SIM_SERIALS"] = "B2,A1,C3"
        open(self.dimmer.path("unplugged-2"), "w").close()
        self.server = Server(self.dimmer)
        again = self.devices()
        self.assertEqual(again[:2], devices)
        self.assertEqual(again[2][:2], (2, "USB Light Dimmer C3"))
        reply = self.call("PUT", 0, "connected", Connected="True")
        self.assertEqual((reply.error, reply.json["ErrorMessage"]),
                         (0x500, "Could not connect: Dimmer A1 is not attached."))
        os.remove(self.dimmer.path("unplugged-2"))
        self.assertEqual(self.call("PUT", 0, "connected", Connected="True").error, 0)

    @unittest.skipIf(WINE, "the Windows lock is a named mutex, which no Linux process can take")
    def test_a_unit_held_by_another_program_never_delays_the_other(self):
        with open(self.dimmer.path("node"), "a") as lock:  # B2's
            fcntl.flock(lock, fcntl.LOCK_EX)
            waiting = threading.Thread(
                target=lambda: self.call("PUT", 1, "connected", Connected="True"))
            waiting.start()
            time.sleep(0.2 * SLOW)
            began = time.monotonic()
            self.assertEqual(self.call("PUT", 0, "connected", Connected="True").error, 0)
            self.assertEqual(self.call("PUT", 0, "calibratoron", Brightness=500).error, 0)
            while self.call("GET", 0, "calibratorstate").value != 3:
                time.sleep(0.02)
            self.assertLess(time.monotonic() - began, 1 * SLOW)
            fcntl.flock(lock, fcntl.LOCK_UN)
            waiting.join()
        self.assertTrue(self.call("GET", 1, "connected").value)


class BadInputTest(ServerTestCase):
    """After each of these the server still answers within a second."""

    def assert_still_serving(self):
        began = time.monotonic()
        self.assertEqual(self.server.get("name").value, "USB Light Dimmer")
        self.assertLess(time.monotonic() - began, 1 * SLOW)

    def raw(self, data, read=True):
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=10) as raw:
            try:
                raw.sendall(data)
                return raw.recv(200) if read else b""
            except (ConnectionResetError, BrokenPipeError):
                return b""

    def test_garbage_and_oversized_requests(self):
        self.raw(os.urandom(4096))
        self.assert_still_serving()
        answer = self.raw(b"GET /" + b"a" * (1 << 20) + b" HTTP/1.1\r\n\r\n")
        self.assertNotIn(b" 200 ", answer)
        self.assert_still_serving()
        answer = self.raw(b"GET /setup HTTP/1.1\r\nX-Big: " + b"b" * (1 << 20) + b"\r\n\r\n")
        self.assertNotIn(b" 200 ", answer)
        self.assert_still_serving()
        body = b"Brightness=5&" * ((10 << 20) // 13)
        answer = self.raw(b"PUT " + BASE.encode() + b"calibratoron HTTP/1.1\r\nContent-Length: %d"
                          b"\r\nContent-Type: application/x-www-form-urlencoded\r\n\r\n"
                          % len(body) + body)
        self.assertTrue(answer == b"" or b" 413 " in answer, answer)
        self.assert_still_serving()

    def test_idle_connections_and_many_clients(self):
        # From an address of their own: the server takes at most 64
        # connections from one, and may not yet have seen these close when
        # the clients below connect.
        idle = [socket.create_connection(("127.0.0.1", self.server.port),
                                         source_address=("127.0.0.3", 0)) for _ in range(50)]
        try:
            self.assert_still_serving()
        finally:
            for connection in idle:
                connection.close()
        results = []
        clients = [threading.Thread(target=lambda: results.append(
            [self.server.get("name").error for _ in range(10)])) for _ in range(60)]
        for client in clients:
            client.start()
        for client in clients:
            client.join()
        self.assertEqual(sum(len(r) for r in results), 600)
        self.assertEqual({e for r in results for e in r}, {0})
        self.assert_still_serving()


if __name__ == "__main__":
    unittest.main()
