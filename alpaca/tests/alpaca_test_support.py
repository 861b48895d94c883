"""The server as built, on a simulated dimmer shared through its state file,
driven by a real HTTP client; every JSON reply is checked against ASCOM's
descriptions.

The environment names what to run: ALPACA_SERVER, QUORLET, SIMULATED_DIMMER
(the library preloaded in front of HIDAPI), ALPACA_SCHEMAS (the folder of
ASCOM's OpenAPI files), and DIMMER_TEST_RUNNER (such as valgrind) to run the
server under.
"""

import http.client
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest
import urllib.parse

from alpaca_schema import AlpacaSchemas

BASE = "/api/v1/covercalibrator/0/"
# The Windows programs, under Wine: stopped with Ctrl+C, which Wine makes of
# SIGINT (SIGTERM would end them at once).
WINE = bool(os.environ.get("ALPACA_WINE"))
SCHEMAS = AlpacaSchemas(os.environ["ALPACA_SCHEMAS"])
# Under valgrind the server starts and answers far more slowly.
SLOW = 10 if os.environ.get("DIMMER_TEST_RUNNER") else 1


def free_port(kind=socket.SOCK_STREAM):
    with socket.socket(socket.AF_INET, kind) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Reply:
    def __init__(self, status, content_type, text):
        self.status = status
        self.content_type = content_type
        self.text = text
        self.json = json.loads(text) if content_type.startswith("application/json") else None

    @property
    def value(self):
        return self.json.get("Value")

    @property
    def error(self):
        return self.json["ErrorNumber"]


class Dimmer:
    """A simulated dimmer in a scratch folder, shared by every program that
    is given its environment."""

    def __init__(self, settings=()):
        self.folder = tempfile.mkdtemp(prefix="alpaca-test-")
        self.environment = dict(os.environ)
        if os.environ["SIMULATED_DIMMER"]:  # under Wine, a hidapi.dll beside the programs
            self.environment["LD_PRELOAD"] = os.environ["SIMULATED_DIMMER"]
        self.environment.update({
            "ASAN_OPTIONS": "verify_asan_link_order=0",
            "DIMMER_SIM_STATE_FILE": self.path("state"),
            "DIMMER_SIM_UNPLUG_FILE": self.path("unplugged"),
            "DIMMER_SIM_NODE": self.path("node"),
            "DIMMER_SIM_LOG": self.path("traffic.log"),
            "HOME": self.folder,
            "XDG_STATE_HOME": self.path("state-home"),
        })
        for setting in settings:
            name, value = setting.split("=", 1)
            self.environment[name] = value

    def path(self, name):
        return os.path.join(self.folder, name)

    def traffic(self):
        """The device's log, without pauses: the server never pauses between
        polls, and on Windows its threads' own waits would show as pauses."""
        try:
            with open(self.path("traffic.log")) as log:
                return [line for line in log.read().splitlines() if not line.startswith("pause")]
        except FileNotFoundError:
            return []

    def changes(self, since=0):
        """The requests after the first `since` lines, without the refreshes'
        getinten."""
        return [line for line in self.traffic()[since:] if line != "getinten"]

    def unplug(self, unplugged=True):
        if unplugged:
            open(self.path("unplugged"), "w").close()
        else:
            os.remove(self.path("unplugged"))

    def quorlet(self, *args):
        runner = os.environ.get("DIMMER_QUORLET_RUNNER", "").split()
        return subprocess.run(runner + [os.environ["QUORLET"], *args], env=self.environment,
                              capture_output=True, text=True, timeout=60)

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)


class Server:
    def __init__(self, dimmer, *options, discovery=False, address="127.0.0.1"):
        self.dimmer = dimmer
        runner = os.environ.get("DIMMER_TEST_RUNNER", "").split()
        where = ["--address", address] if address else []
        # A port free on 127.0.0.1 may still be taken on another address
        # (a client's end of a connection, say) when the server listens on
        # every interface: then another port is tried.
        for attempt in range(5):
            self.port = free_port()
            self.discovery_port = free_port(socket.SOCK_DGRAM) if discovery else 0
            # Wine gives every program the prefix's own %LOCALAPPDATA%: the
            # dimmer's map of devices is kept in the test's folder instead.
            state = ["--state-folder", "Z:" + dimmer.path("state-home").replace("/", "\\")] \
                if WINE else []
            command = runner + [os.environ["ALPACA_SERVER"], *where, "--port", str(self.port),
                                "--discovery-port", str(self.discovery_port), *state, *options]
            self.log_path = dimmer.path("server-%d.log" % self.port)
            with open(self.log_path, "w") as log:
                self.process = subprocess.Popen(command, env=dimmer.environment,
                                                stdout=log, stderr=log)
            try:
                self._wait_until_listening()
                return
            except AssertionError:
                if attempt == 4 or "Address already in use" not in self.log():
                    raise

    def _wait_until_listening(self):
        deadline = time.monotonic() + 10 * SLOW
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise AssertionError("the server ended: " + self.log())
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.02)
        raise AssertionError("the server does not listen: " + self.log())

    def log(self):
        with open(self.log_path) as log:
            return log.read()

    def stop(self):
        """Asks it to stop; its exit status."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT if WINE else signal.SIGTERM)
        try:
            return self.process.wait(timeout=10 * SLOW)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError("the server did not stop on SIGTERM")

    def request(self, method, path, params=None, body=None, timeout=15):
        """One request on a connection of its own. `params` go in the query
        string for GET and in the form body for PUT; JSON replies are checked
        against their description."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout * SLOW)
        if method == "PUT" and body is None:
            body = urllib.parse.urlencode(params or {})
        elif params:
            path += "?" + urllib.parse.urlencode(params)
        headers = {"Content-Type": "application/x-www-form-urlencoded"} if body else {}
        try:
            connection.request(method, path, body=body, headers=headers)
            response = connection.getresponse()
            reply = Reply(response.status, response.getheader("Content-Type", ""),
                          response.read().decode())
        finally:
            connection.close()
        if reply.status == 200 and reply.json is not None:
            SCHEMAS.check(method, path.split("?")[0], reply.json)
        return reply

    def get(self, member, client=1, **params):
        return self.request("GET", BASE + member, dict(ClientID=client, **params))

    def put(self, member, client=1, **params):
        return self.request("PUT", BASE + member, dict(ClientID=client, **params))

    def connect(self, client=1):
        reply = self.put("connected", client, Connected="True")
        assert reply.error == 0, reply.text
        return reply

    def wait_for(self, member, value, timeout=3, client=1):
        """Reads `member` until it is `value`; the seconds that took."""
        start = time.monotonic()
        while time.monotonic() - start < timeout * SLOW:
            if self.get(member, client).value == value:
                return time.monotonic() - start
            time.sleep(0.02)
        raise AssertionError("%s stayed %r, not %r" % (member, self.get(member, client).value,
                                                       value))


class ServerTestCase(unittest.TestCase):
    """A test with a dimmer and a server of its own, stopped cleanly."""

    settings = ()
    options = ()

    def setUp(self):
        self.dimmer = Dimmer(self.settings)
        self.server = Server(self.dimmer, *self.options)

    def tearDown(self):
        status = self.server.stop()
        log = self.server.log()
        traffic = self.dimmer.traffic()
        self.dimmer.remove()
        self.assertEqual(status, 0, log)
        self.assertNotIn("foreign answer", traffic)
