#!/usr/bin/env python3
"""The driver under the real indiserver, heard by a raw INDI client.

The client records the whole XML stream while it drives the driver through
connect, disconnect/connect cycles, simulation toggles, config load, requests
while disconnected, and refreshes racing connects. It fails when a property's
values (a set...Vector, or the answer to a new...Vector) come before its
definition, or when a property is defined twice with no delete in between.

Usage: property_order_test.py INDISERVER DRIVER SIMULATED_DIMMER_LIBRARY QUORLET
"""

import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
import xml.etree.ElementTree as ElementTree

DEVICE = "USB Light Dimmer"
# INDI's light box interface defines it once more each time a client asks for
# the properties, after the device has defined all it has (INDI's own light
# box drivers do the same).
REDEFINED_BY_INDI = {"ACTIVE_DEVICES"}


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class RawClient:
    """One INDI client connection, keeping every element the server sends."""

    def __init__(self, port):
        deadline = time.monotonic() + 10
        while True:
            try:
                self.sock = socket.create_connection(("127.0.0.1", port))
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)
        self.parser = ElementTree.XMLPullParser(events=("end",))
        self.parser.feed("<stream>")  # the protocol has no root element
        self.elements = []
        self.changed = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()
        self.send('<getProperties version="1.7"/>')

    def _read(self):
        depth_one = []
        while True:
            try:
                data = self.sock.recv(65536)
            except OSError:
                return
            if not data:
                return
            self.parser.feed(data)
            for _, element in self.parser.read_events():
                depth_one.append(element)
            with self.changed:
                # Only top-level messages: their children end first.
                for element in depth_one:
                    if element.tag.endswith("Vector") or element.tag in ("delProperty", "message"):
                        if element.get("device") == DEVICE:
                            self.elements.append(element)
                depth_one.clear()
                self.changed.notify_all()

    def send(self, text):
        self.sock.sendall(text.encode())

    def new_switch(self, prop, on_element, others=()):
        body = '<oneSwitch name="%s">On</oneSwitch>' % on_element
        body += "".join('<oneSwitch name="%s">Off</oneSwitch>' % name for name in others)
        self.send('<newSwitchVector device="%s" name="%s">%s</newSwitchVector>'
                  % (DEVICE, prop, body))

    def new_number(self, prop, element, value):
        self.send('<newNumberVector device="%s" name="%s"><oneNumber name="%s">%s</oneNumber>'
                  '</newNumberVector>' % (DEVICE, prop, element, value))

    def mark(self):
        with self.changed:
            return len(self.elements)

    def wait_for(self, test, what, start=0, timeout=10):
        """Waits until an element from the `start`th on passes `test`."""
        with self.changed:
            deadline = time.monotonic() + timeout
            while True:
                if any(test(element) for element in self.elements[start:]):
                    return
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError("no %s within %d s" % (what, timeout))
                self.changed.wait(left)

    def settle(self, quiet=0.3):
        """Waits until nothing has arrived for `quiet` seconds."""
        with self.changed:
            while self.changed.wait(quiet):
                pass


def connection_set(state):
    return lambda e: (e.tag == "setSwitchVector" and e.get("name") == "CONNECTION"
                      and e.get("state") == state)


def violations(elements):
    """What breaks the order: values before definitions, double definitions."""
    defined = set()
    found = []
    for index, element in enumerate(elements):
        tag, name = element.tag, element.get("name")
        where = "#%d %s %s" % (index, tag, name)
        if tag.startswith("def"):
            if name in defined and name not in REDEFINED_BY_INDI:
                found.append(where + ": defined again without a delete")
            defined.add(name)
        elif tag.startswith("set"):
            if name not in defined:
                found.append(where + ": values before the definition")
        elif tag == "delProperty":
            if name:
                defined.discard(name)
            else:
                defined.clear()
    return found


def connect(client):
    start = client.mark()
    client.new_switch("CONNECTION", "CONNECT", ["DISCONNECT"])
    client.wait_for(connection_set("Ok"), "connection", start)


def disconnect(client):
    start = client.mark()
    client.new_switch("CONNECTION", "DISCONNECT", ["CONNECT"])
    client.wait_for(connection_set("Idle"), "disconnection", start)


def light_requests(client):
    client.new_number("FLAT_LIGHT_INTENSITY", "FLAT_LIGHT_INTENSITY_VALUE", 321)
    client.new_switch("FLAT_LIGHT_CONTROL", "FLAT_LIGHT_ON", ["FLAT_LIGHT_OFF"])


def main():
    server_path, driver_path, simulator, quorlet = sys.argv[1:5]
    folder = tempfile.mkdtemp(prefix="property-order-")
    environment = dict(os.environ)
    environment.update({
        "HOME": folder,
        "LD_PRELOAD": simulator,
        "DIMMER_SIM_STATE_FILE": os.path.join(folder, "state"),
        "DIMMER_SIM_NODE": os.path.join(folder, "node"),
        "DIMMER_SIM_INTENSITY": "640",
        "DIMMER_SIM_BUSY": "1",
        # The simulator is preloaded before the sanitizer's runtime.
        "ASAN_OPTIONS": "verify_asan_link_order=0",
    })
    # Such as the emulator that runs a cross-built quorlet.
    runner = os.environ.get("DIMMER_TEST_RUNNER", "").split()
    port = free_port()
    with open(os.path.join(folder, "server.log"), "w") as log:
        server = subprocess.Popen(
            [server_path, "-r", "0", "-p", str(port), "-u", os.path.join(folder, "socket"),
             driver_path], env=environment, stdout=log, stderr=log)
    try:
        # The driver answers the server's own first request for the
        # properties to whoever is connected then: not to the recording client.
        first = RawClient(port)
        first.wait_for(lambda e: e.get("name") == "CONNECTION", "CONNECTION")
        first.settle()
        first.sock.close()
        client = RawClient(port)
        client.wait_for(lambda e: e.get("name") == "CONNECTION", "CONNECTION")
        client.settle()

        # Requests for properties that are not defined yet, and a config load.
        light_requests(client)
        client.new_switch("CONFIG_PROCESS", "CONFIG_LOAD")
        client.settle()

        connect(client)
        light_requests(client)
        client.new_switch("CONFIG_PROCESS", "CONFIG_SAVE")
        client.settle()
        client.new_switch("CONFIG_PROCESS", "CONFIG_LOAD")
        client.settle()
        for _ in range(3):
            disconnect(client)
            light_requests(client)
            connect(client)

        # Simulation switched while connected, then used by the next connect.
        client.new_switch("SIMULATION", "ENABLE", ["DISABLE"])
        disconnect(client)
        connect(client)
        light_requests(client)
        client.settle()
        disconnect(client)
        client.new_switch("SIMULATION", "DISABLE", ["ENABLE"])
        client.new_switch("CONFIG_PROCESS", "CONFIG_LOAD")

        # Refreshes every 10 ms, so that one is due just as a connect ends.
        client.new_number("POLLING_PERIOD", "PERIOD_MS", 10)
        for level in range(5):
            connect(client)
            subprocess.run(runner + [quorlet, str(700 + level)], env=environment, check=True)
            time.sleep(0.05)
            disconnect(client)
        client.settle()
    finally:
        server.terminate()
        server.wait()

    found = violations(client.elements)
    kinds = sorted({e.tag for e in client.elements})
    print("%d messages heard (%s)" % (len(client.elements), ", ".join(kinds)))
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
