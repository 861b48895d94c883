"""The shell commands in the user documentation still run.

Every ```sh block of the user pages is run as one bash script, in a scratch
folder where `build` is this build, the programs are on PATH and the
simulated dimmer is preloaded, so each must exit 0. A block that starts a
server (the Alpaca server, indiserver) is started in the background and
must be listening on its port before the next block runs. Blocks that
install system-wide, need a second machine or build for another platform
are not run; for those that install packages, the package files they name
must carry this build's version.
"""
import os
import re
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

SOURCE = os.environ["DOCS_SOURCE_DIR"]
BUILD = os.environ["DOCS_BUILD_DIR"]
VERSION = os.environ["DOCS_VERSION"]
USER_PAGES = ["README.md", "docs/windows.md", "docs/linux.md", "docs/kstars.md",
              "docs/alpaca.md", "docs/command-line.md", "docs/building.md"]

# First words of commands this test does not run, and why.
NOT_RUN = {
    "sudo": "installs system-wide (the package test installs and runs the packages)",
    "cmake": "builds (the test command itself builds every configuration)",
    "scripts/demo.sh": "the README's own command, run by new users",
    "scripts/test.sh": "the test command itself",
    "ctest": "runs tests, as the test command does",
    "scripts/cross-build.sh": "a leg of the test command",
    "scripts/build-packages.sh": "builds the packages, as a leg of the test command does",
    "vm/systemd/run.sh": "a leg of the test command",
    "windows/build.sh": "a leg of the test command",
    "vcpkg": "Windows only",
}
# Servers a block may start, with the port each listens on.
SERVERS = {"alpaca_light_dimmer": 11111, "indiserver": 7624}


def shell_blocks(page):
    with open(os.path.join(SOURCE, page)) as text:
        return re.findall(r"^```sh\n(.*?)^```$", text.read(), re.M | re.S)


def commands(block):
    """The block's commands, continuation lines joined."""
    return [line.strip() for line in block.replace("\\\n", " ").replace("^\n", " ").splitlines()
            if line.strip() and not line.lstrip().startswith("#")]


def listening(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


class DocsCommandsTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="docs-commands-")
        os.symlink(BUILD, os.path.join(self.folder, "build"))
        folders = [os.path.join(BUILD, name) for name in ("quorlet", "orvane", "alpaca", "indi")]
        self.environment = dict(
            os.environ, HOME=self.folder, XDG_STATE_HOME=os.path.join(self.folder, "state"),
            PATH=os.pathsep.join(folders + [os.environ["PATH"]]),
            LD_PRELOAD=os.path.join(BUILD, "testing", "libsimulated_dimmer.so"),
            DIMMER_SIM_STATE_FILE=os.path.join(self.folder, "dimmer-state"),
            DIMMER_SIM_NODE=os.path.join(self.folder, "dimmer-node"))
        self.servers = []

    def tearDown(self):
        for server in self.servers:
            server.terminate()
            server.wait(10)
        shutil.rmtree(self.folder, ignore_errors=True)

    def start_server(self, command, port):
        self.assertFalse(listening(port), "port %d is taken before %s" % (port, command))
        with open(os.path.join(self.folder, "server.log"), "ab") as log:
            self.servers.append(subprocess.Popen(["bash", "-c", "exec " + command], cwd=self.folder,
                                                 env=self.environment, stdout=log, stderr=log))
        deadline = time.monotonic() + 10
        while not listening(port):
            self.assertIsNone(self.servers[-1].poll(), command + " ended")
            self.assertLess(time.monotonic(), deadline, command + " does not listen")
            time.sleep(0.05)

    def check_packages(self, command):
        for name in re.findall(r"light-dimmer[a-z-]*_([^_]+)_[a-z0-9]+\.deb", command):
            self.assertEqual(name, VERSION, command)

    def test_user_pages(self):
        ran = 0
        for page in USER_PAGES:
            without_server = False  # the rest of the page needs what this build lacks
            for block in shell_blocks(page):
                if without_server:
                    continue
                with self.subTest(page=page, block=block):
                    lines = commands(block)
                    first_words = {line.split()[0] for line in lines}
                    skipped = first_words & NOT_RUN.keys()
                    program = os.path.basename(lines[0].split()[0])
                    if skipped:
                        for line in lines:
                            self.check_packages(line)
                    elif program in SERVERS:
                        if shutil.which(program, path=self.environment["PATH"]) is None:
                            without_server = True
                            continue
                        self.start_server(lines[0], SERVERS[program])
                        ran += 1
                    else:
                        run = subprocess.run(["bash", "-e", "-c", block], cwd=self.folder,
                                             env=self.environment, capture_output=True,
                                             text=True, timeout=60)
                        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
                        ran += 1
            for server in self.servers:
                server.terminate()
                server.wait(10)
            self.servers = []
        self.assertGreater(ran, 0)


if __name__ == "__main__":
    unittest.main()
