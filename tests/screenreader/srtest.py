"""The base of the screen-reader tests: one private desktop per test class, a fresh server and
client per test, and assertions on what Orca says."""
import os
import re
import shutil
import subprocess
import unittest

import catalogue
import harness

# Bounds for what a working client does: generous, since other builds share the machine.
SPOKEN = 20
STARTED = 40
# Orca has nothing left to do once its log has been still this long.
QUIET = 1.5


def known_fault(reason, flaky=False):
    """Marks a test of the right behaviour that today's client does not have yet.

    It counts as passing while it fails on an assertion (any other error still fails the run).
    A strict one that passes fails the run, so the marker goes as soon as the fault is mended;
    a flaky one (the fault is a race that sometimes goes the right way) may pass. Turning the
    test on is deleting this one line above it.
    """
    def mark(test):
        test = unittest.expectedFailure(test)
        test.known_fault = reason
        test.known_fault_flaky = flaky
        return test
    return mark


class ScreenReaderTest(unittest.TestCase):
    desktop = None
    keys = None

    @classmethod
    def setUpClass(cls):
        logdir = os.path.join(os.environ.get("DRAVEL_SR_LOGDIR", "."), cls.__module__)
        cache = os.environ.get("DRAVEL_SR_CACHE", os.path.join(logdir, "cache"))
        cls.desktop = harness.Desktop(logdir, cache)
        cls.desktop.start()
        cls.keys = harness.Keyboard(cls.desktop)
        cls.transcript = cls.desktop.transcript
        cls.catalogue = os.path.join(cls.desktop.root, "catalogue.db")
        catalogue.create(cls.catalogue)

    @classmethod
    def tearDownClass(cls):
        if cls.desktop is not None:
            cls.desktop.stop()

    def setUp(self):
        self.start = self.transcript.mark()
        self.cursor = self.start
        self.server = None
        self.client = None
        self.addCleanup(self._stop_programs)

    def _stop_programs(self):
        if self.client is not None:
            self.client.stop()
        if self.server is not None:
            self.server.stop()

    # --- programs -------------------------------------------------------------------------

    def start_server(self, *args):
        self.server = harness.Server(self.desktop, os.environ["ORVO_SERVER"], "--db",
                                     self.catalogue, *args)
        return self.server

    def start_client(self, blind_friendly=True, port=None):
        self.client = harness.Client(self.desktop, os.environ["DRAVEL_CLIENT"],
                                     self.server.port if port is None else port, blind_friendly)
        return self.client

    def launch(self, *server_args):
        """Server and client, up to the main window."""
        self.start_server(*server_args)
        self.start_client()
        self.expect("Archivio del Orvo cornice", STARTED)

    # --- what Orca says -------------------------------------------------------------------

    def transcript_text(self, since=None):
        lines = self.transcript.since(self.start if since is None else since)
        return "\n".join("    " + line for line in lines) or "    (nothing)"

    def expect(self, pattern, timeout=SPOKEN):
        """Waits until Orca says pattern (a text or a regex) after what was already matched."""
        try:
            index = self.transcript.wait_for(pattern, self.cursor, timeout)
        except TimeoutError as e:
            self.dump_stacks()
            self.fail("%s\nOrca said, since the test began:\n%s" % (e, self.transcript_text()))
        self.cursor = index + 1
        return self.transcript.utterances[index]

    def heard(self, pattern, timeout=SPOKEN):
        """Waits until Orca says pattern, as expect does, but leaves it to be matched again."""
        cursor = self.cursor
        self.expect(pattern, timeout)
        self.cursor = cursor

    def dump_stacks(self):
        """On a timeout, what the client and Orca were doing, into the module's logs: a hung
        program and a silent screen reader look the same in the transcript."""
        if not shutil.which("gdb"):
            return
        targets = [("dravel", self.client.proc.pid if self.client is not None else None)]
        if self.server is not None:
            targets.append(("orvo-server", self.server.proc.pid))
        targets += [(p.name, p.pid) for p in self.desktop.procs.started if p.name == "orca"]
        path = os.path.join(self.desktop.logdir, "stacks-%s.txt" % self._testMethodName)
        with open(path, "a", encoding="utf-8") as out:
            shown = subprocess.run(
                ["sh", "-c", "for w in $(xdotool search --onlyvisible --name .); do "
                 "xdotool getwindowname $w; done; echo focused:; "
                 "xdotool getwindowfocus getwindowname"], env=self.desktop.env,
                capture_output=True, text=True, timeout=60, check=False).stdout
            out.write("=== windows on screen\n%s\n" % shown)
            if self.server is not None:
                sockets = subprocess.run(["ss", "-tanp", "sport = :%d or dport = :%d"
                                          % (self.server.port, self.server.port)],
                                         capture_output=True, text=True, check=False).stdout
                out.write("=== the server's connections\n%s\n" % sockets)
            for name, pid in targets:
                if pid is None:
                    continue
                out.write("=== %s (%d)\n" % (name, pid))
                out.flush()
                subprocess.run(["gdb", "-p", str(pid), "-batch", "-ex", "thread apply all bt"],
                               stdout=out, stderr=subprocess.STDOUT, timeout=120, check=False)

    def expect_each(self, *patterns, timeout=SPOKEN):
        return [self.expect(p, timeout) for p in patterns]

    def mark(self):
        return self.transcript.mark()

    def said_since(self, mark):
        return self.transcript.since(mark)

    def assertSaid(self, pattern, mark, end=None):
        said = self.transcript.since(mark)[: None if end is None else end - mark]
        if not any(_matches(pattern, u) for u in said):
            self.fail("Orca did not say %r; it said:\n%s" % (_shown(pattern),
                                                             _lines(said)))

    def assertNotSaid(self, pattern, mark, end=None):
        said = self.transcript.since(mark)[: None if end is None else end - mark]
        if any(_matches(pattern, u) for u in said):
            self.fail("Orca said %r; all it said:\n%s" % (_shown(pattern), _lines(said)))

    def sync(self):
        """Returns once Orca has dealt with everything the programs did before now."""
        self.transcript.wait_quiet(QUIET, SPOKEN)

    def accessible_tree(self):
        """The client's accessible objects, as (depth, role, showing, name) tuples."""
        listing = subprocess.run([harness.PYTHON, os.path.join(harness.HERE, "atspi_tree.py"),
                                  str(self.client.proc.pid)], env=self.desktop.env,
                                 capture_output=True, text=True,
                                 timeout=60 * harness.timeout_scale(), check=True).stdout
        rows = []
        for line in listing.splitlines():
            depth, role, showing, name = line.split("\t", 3)
            rows.append((int(depth), role, showing == "showing", name))
        return rows

    # --- keys -----------------------------------------------------------------------------

    def press(self, *keys):
        self.keys.press(*keys)

    def type(self, text):
        self.keys.type(text)




def _matches(pattern, utterance):
    return pattern.search(utterance) if hasattr(pattern, "search") else pattern in utterance


def _shown(pattern):
    return pattern.pattern if hasattr(pattern, "pattern") else pattern


def _lines(said):
    return "\n".join("    " + line for line in said) or "    (nothing)"
