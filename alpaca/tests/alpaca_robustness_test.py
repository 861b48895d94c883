"""The server against careless and hostile clients, on loopback: floods,
idle and slow connections, pipelining, a stop while clients trickle, more
ClientIDs than the server keeps, and web pages that reach it by another
name. After each, a normal GET answers within a second and the server has
not grown by more than its allowance.

Clients beyond 64 connections come from further loopback addresses
(127.0.0.2 and on), as the server takes at most 64 from one address."""

import http.client
import os
import resource
import signal
import socket
import struct
import threading
import time
import unittest

from alpaca_test_support import BASE, SLOW, WINE, ServerTestCase

# What memory the server may gain over a scenario. The sanitizers hold
# freed memory back for a while to catch its use, and an emulator
# translates code as it first meets it.
ALLOWANCE = (64 if os.environ.get("DIMMER_SANITIZED") or os.environ.get("DIMMER_TEST_RUNNER")
             else 16) << 20
PER_ADDRESS = 64


def raise_file_limit():
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    wanted = 4096 if hard == resource.RLIM_INFINITY else min(hard, 4096)
    if soft < wanted:
        resource.setrlimit(resource.RLIMIT_NOFILE, (wanted, hard))


def source(index):
    """A loopback address of its own for every PER_ADDRESS connections."""
    return "127.0.%d.%d" % (1 + index // PER_ADDRESS // 250, 2 + index // PER_ADDRESS % 250)


class RobustnessTest(ServerTestCase):
    def setUp(self):
        raise_file_limit()  # the server started next inherits it too
        super().setUp()
        self.sockets = []
        self.idle_rss = self.rss()

    def tearDown(self):
        for connection in self.sockets:
            connection.close()
        super().tearDown()

    def rss(self):
        with open("/proc/%d/status" % self.server.process.pid) as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) * 1024
        raise AssertionError("no VmRSS")

    def open(self, count, first=0):
        """`count` connections, each from the address source() gives it.
        They are reset when closed, not left waiting out TIME_WAIT on ports
        that other tests' servers may want next."""
        for index in range(first, first + count):
            connection = socket.socket()
            connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            connection.bind((source(index), 0))
            connection.connect(("127.0.0.1", self.server.port))
            self.sockets.append(connection)
        return self.sockets[-count:]

    def assert_still_serving(self):
        began = time.monotonic()
        self.assertEqual(self.server.get("name").value, "USB Light Dimmer")
        self.assertLess(time.monotonic() - began, 1 * SLOW)
        self.assertLess(self.rss() - self.idle_rss, ALLOWANCE)

    def exchange(self, data, timeout=10):
        """Sends `data` on a connection of its own; all it is answered."""
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=timeout * SLOW) as raw:
            raw.sendall(data)
            answer = b""
            while True:
                chunk = raw.recv(65536)
                if not chunk:
                    return answer
                answer += chunk

    def flood(self, connection, total):
        connection.settimeout(10 * SLOW)
        try:
            connection.sendall(b"GET /api/v1/covercalibrator/0/name HTTP/1.1\r\nHost: x\r\n")
            line = b"a:b\r\n" * 200000
            for _ in range(total // len(line)):
                connection.sendall(line)
        except OSError:
            pass  # refused and closed, as it should be
        return connection.recv(200) if connection.fileno() >= 0 else b""

    def test_header_floods(self):
        for count in (1, 4):
            connections = self.open(count)
            answers = []
            floods = [threading.Thread(target=lambda c=c: answers.append(self.flood(c, 50 << 20)))
                      for c in connections]
            for flood in floods:
                flood.start()
            for flood in floods:
                flood.join()
            for answer in answers:
                self.assertTrue(answer == b"" or answer.startswith(b"HTTP/1.1 431 "), answer)
            self.assert_still_serving()

    def test_limits(self):
        table = [
            (b"GET /" + b"a" * 9000 + b" HTTP/1.1\r\nHost: x\r\n\r\n", b"414"),
            (b"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + b"b" * 9000 + b"\r\n\r\n", b"431"),
            (b"GET / HTTP/1.1\r\nHost: x\r\n" + b"a:b\r\n" * 101 + b"\r\n", b"431"),
            (b"PUT /x HTTP/1.1\r\nHost: x\r\nContent-Length: 70000\r\n\r\n" + b"a" * 70000, b"413"),
            (b"PUT /x HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n" +
             b"ffff\r\n" + b"a" * 0xffff + b"\r\n" + b"ffff\r\n" + b"a" * 0xffff + b"\r\n0\r\n\r\n",
             b"413"),
            (b"PUT /x HTTP/1.1\r\nHost: x\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab", b"400"),
            (b"PUT /x HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\nContent-Length: 2\r\n\r\nab",
             b"400"),
        ]
        for request, status in table:
            with self.subTest(request=request[:60]):
                answer = self.exchange(request)
                self.assertTrue(answer.startswith(b"HTTP/1.1 " + status + b" "), answer[:200])
        self.assert_still_serving()

    def test_idle_connections(self):
        began = time.monotonic()
        idle = self.open(1000)
        self.assert_still_serving()
        # Past the cap on one address, refused at once.
        extra = self.open(1, first=0)[0]
        extra.settimeout(5 * SLOW)
        self.assertEqual(extra.recv(10), b"")
        # An idle connection is closed after 30 seconds, not before.
        idle[0].settimeout(1)
        self.assertRaises(socket.timeout, idle[0].recv, 10)
        idle[0].settimeout(40 * SLOW)
        self.assertEqual(idle[0].recv(10), b"")
        self.assertGreater(time.monotonic() - began, 29)
        self.assert_still_serving()

    def test_slow_clients(self):
        # 300 that send their header a byte at a time, from several
        # addresses, and 64 from one address that trickle the same way.
        slow = self.open(300) + self.open(PER_ADDRESS, first=300 + PER_ADDRESS * 2)
        request = b"GET " + BASE.encode() + b"name HTTP/1.1\r\nHost: x\r\n" + b"a:b\r\n" * 100
        began = time.monotonic()
        sent = 0
        while time.monotonic() - began < 12 * SLOW and sent < len(request):
            for connection in slow:
                try:
                    connection.send(request[sent:sent + 1])
                except OSError:
                    pass
            sent += 1
            self.assert_still_serving()
            time.sleep(0.5)
        # Each was answered 408 within 10 seconds of its first byte, and
        # closed.
        for connection in slow[::20]:
            connection.settimeout(5 * SLOW)
            try:
                answer = connection.recv(200)
            except ConnectionResetError:
                answer = b""
            self.assertTrue(answer == b"" or answer.startswith(b"HTTP/1.1 408 "), answer)
        self.assert_still_serving()

    def test_pipelined_requests_answered_in_order(self):
        body = b"ClientID=7&Connected=True"
        on = b"ClientID=7&Brightness=500"
        answer = self.exchange(
            b"PUT " + BASE.encode() + b"connected HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n"
            b"Content-Type: application/x-www-form-urlencoded\r\n\r\n%s"
            b"PUT " % (len(body), body) + BASE.encode() + b"calibratoron HTTP/1.1\r\nHost: x\r\n"
            b"Content-Length: %d\r\nContent-Type: application/x-www-form-urlencoded\r\n\r\n%s"
            b"HEAD " % (len(on), on) + BASE.encode() + b"name HTTP/1.1\r\nHost: x\r\n"
            b"Connection: close\r\n\r\n")
        replies = answer.split(b"HTTP/1.1 ")[1:]
        self.assertEqual(len(replies), 3, answer)
        for reply in replies[:2]:
            self.assertIn(b'"ErrorNumber":0', reply)
        # HEAD: GET's length, and no body.
        self.assertTrue(replies[2].startswith(b"200 "))
        self.assertIn(b"Content-Length: ", replies[2])
        self.assertTrue(replies[2].endswith(b"\r\n\r\n"), replies[2])
        self.server.wait_for("brightness", 500, client=7)
        self.assert_still_serving()

    def test_stop_while_a_client_trickles(self):
        trickling = self.open(1)[0]
        trickling.send(b"GET /setup HTTP/1.1\r\n")
        idle = self.open(1, first=PER_ADDRESS)[0]
        self.assert_still_serving()
        began = time.monotonic()
        self.server.process.send_signal(signal.SIGINT if WINE else signal.SIGTERM)
        self.assertEqual(self.server.process.wait(timeout=10 * SLOW), 0)
        self.assertLess(time.monotonic() - began, 2 * SLOW)
        self.assertEqual(idle.recv(10), b"")

    def test_vanished_clients_are_forgotten(self):
        connection = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=10 * SLOW)
        for client in range(100, 1200):
            connection.request("PUT", BASE + "connected", "ClientID=%d&Connected=True" % client,
                               {"Content-Type": "application/x-www-form-urlencoded"})
            self.assertIn(b'"ErrorNumber":0', connection.getresponse().read())
        connection.close()
        self.server.connect(client=5000)
        self.assertEqual(self.server.put("calibratoron", client=5000, Brightness=300).error, 0)
        self.server.wait_for("brightness", 300, client=5000)
        self.assertTrue(self.server.get("connected", client=1199).value)
        self.assertFalse(self.server.get("connected", client=100).value)
        self.assert_still_serving()

    def test_browsers_only_by_this_servers_names(self):
        path = BASE + "name?ClientID=1"
        for host, origin, status in [
                ("evil.example", "http://evil.example", 403),
                ("evil.example:%d" % self.server.port, None, 200),  # no browser: served
                ("127.0.0.1:%d" % self.server.port, "http://127.0.0.1", 200),
                ("localhost", "http://localhost", 200),
                ("[::1]:80", "http://[::1]", 200)]:
            with self.subTest(host=host, origin=origin):
                connection = http.client.HTTPConnection("127.0.0.1", self.server.port,
                                                        timeout=10 * SLOW)
                headers = {"Host": host}
                if origin:
                    headers["Origin"] = origin
                connection.request("GET", path, headers=headers)
                response = connection.getresponse()
                response.read()
                connection.close()
                self.assertEqual(response.status, status)
                self.assertEqual(response.getheader("X-Content-Type-Options"), "nosniff")
                if status == 200:
                    self.assertEqual(response.getheader("Cache-Control"), "no-store")
        page = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=10 * SLOW)
        page.request("GET", "/setup")
        response = page.getresponse()
        response.read()
        page.close()
        self.assertEqual(response.getheader("X-Frame-Options"), "DENY")
        self.assertIn("frame-ancestors 'none'", response.getheader("Content-Security-Policy"))
        self.assert_still_serving()


if __name__ == "__main__":
    unittest.main()
