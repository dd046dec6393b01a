"""The desktop a blind user has, started privately for one test run.

Xvfb, a private D-Bus session, the AT-SPI bus, a window manager, speech-dispatcher writing its
sound to a null ALSA device, and Orca speaking Italian with its debug log on disk: Orca writes
every utterance there as a "SPEECH OUTPUT:" line, which is what the tests read. Then a real
orvo-server and the client, driven by keys sent through the X server like a keyboard's.

Nothing here touches the user's own files: HOME, the XDG folders and the runtime folder all
live in a temporary folder of the run.
"""
import ctypes
import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"
ATSPI_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
ORCA = "/usr/bin/orca"
LOCALE = "it_IT.UTF-8"

# Programs the desktop needs, and the Debian package that brings each.
TOOLS = {
    "Xvfb": "xvfb",
    "xdotool": "xdotool",
    "openbox": "openbox",
    "dbus-daemon": "dbus",
    "dbus-send": "dbus",
    "speech-dispatcher": "speech-dispatcher",
    "localedef": "locales",
    ATSPI_LAUNCHER: "at-spi2-core",
    ORCA: "orca",
}

_libc = ctypes.CDLL("libc.so.6", use_errno=True)
PR_SET_PDEATHSIG = 1
PR_SET_CHILD_SUBREAPER = 36


class CannotRun(Exception):
    """The machine lacks what the suite needs (and cannot get it)."""


def timeout_scale():
    """Every bound of the suite, multiplied: a slower machine can raise it."""
    try:
        return max(1.0, float(os.environ.get("DRAVEL_SR_TIMEOUT_SCALE", "1")))
    except ValueError:
        return 1.0


def wait_until(condition, timeout, what, interval=0.05):
    """Polls condition until it returns something true, for at most timeout seconds."""
    deadline = time.monotonic() + timeout * timeout_scale()
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise TimeoutError("%s: not within %.0f s" % (what, timeout * timeout_scale()))
        time.sleep(interval)


def missing_tools():
    missing = []
    for tool, package in TOOLS.items():
        found = os.access(tool, os.X_OK) if tool.startswith("/") else shutil.which(tool)
        if not found:
            missing.append("%s (%s)" % (tool, package))
    try:
        subprocess.run([PYTHON, "-c", "import pyatspi, speechd"], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except (OSError, subprocess.CalledProcessError):
        missing.append("python3-pyatspi and python3-speechd")
    return missing


def read_line(fd, timeout, close=True):
    """The first line written to fd, waiting at most timeout seconds. The whole line is read
    before the pipe may close: a writer that finds it closed half-way dies of it (Xvfb does)."""
    line = b""
    deadline = time.monotonic() + timeout * timeout_scale()
    while not line.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            break
        byte = os.read(fd, 1)
        if not byte:
            break
        line += byte
    if close:
        os.close(fd)
    return line.decode("utf-8", "replace")


def _die_with_parent():
    # A test killed by ctest's timeout must not leave a desktop behind.
    _libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


class Processes:
    """Every process of the run, each in a group of its own, stopped in reverse order."""

    def __init__(self, logdir):
        self.logdir = logdir
        self.started = []
        # Daemons that fork (the AT-SPI bus, speech modules) end up ours, so they can be
        # stopped too.
        _libc.prctl(PR_SET_CHILD_SUBREAPER, 1)

    def start(self, name, argv, env, pass_fds=(), stdout=None):
        log = open(os.path.join(self.logdir, name + ".log"), "ab")
        proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                stdout=stdout if stdout is not None else log, stderr=log,
                                pass_fds=pass_fds, start_new_session=True,
                                preexec_fn=_die_with_parent)
        log.close()
        proc.name = name
        self.started.append(proc)
        return proc

    @staticmethod
    def stop(proc, grace=5.0):
        if proc.poll() is None:
            for sig in (signal.SIGCONT, signal.SIGTERM):
                try:
                    os.killpg(proc.pid, sig)
                except ProcessLookupError:
                    pass
            try:
                proc.wait(timeout=grace)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(proc.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                proc.wait()
        if proc.stdout is not None:
            proc.stdout.close()

    def stop_all(self):
        while self.started:
            self.stop(self.started.pop())
        self._reap_orphans()

    @staticmethod
    def _reap_orphans():
        me = os.getpid()
        for _ in range(50):
            orphans = []
            for entry in os.listdir("/proc"):
                if not entry.isdigit():
                    continue
                try:
                    with open("/proc/%s/stat" % entry) as stat:
                        fields = stat.read().rsplit(")", 1)[1].split()
                except OSError:
                    continue
                if int(fields[1]) == me:
                    orphans.append(int(entry))
            for pid in orphans:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            reaped = False
            while True:
                try:
                    pid, _ = os.waitpid(-1, os.WNOHANG)
                except ChildProcessError:
                    break
                if pid == 0:
                    break
                reaped = True
            if not orphans and not reaped:
                return
            time.sleep(0.05)


SPEECH_START = re.compile(r"SPEECH OUTPUT: '")
STAMP = re.compile(r"^\d\d:\d\d:\d\d\.\d+ - ")
# The utterance ends with its closing quote, followed by the voice Orca used, if any.
SPEECH_END = re.compile(r"'\s*(\{.*\}|\[.*\])?\s*$")


class Transcript:
    """What Orca has said so far, read from its debug log as it grows."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.pending = ""
        self.open_utterance = None
        self.utterances = []

    def refresh(self):
        try:
            with open(self.path, "rb") as log:
                log.seek(self.offset)
                data = log.read()
        except FileNotFoundError:
            return self.utterances
        self.offset += len(data)
        text = self.pending + data.decode("utf-8", "replace")
        lines = text.split("\n")
        self.pending = lines.pop()
        for line in lines:
            self._take(line)
        return self.utterances

    def _take(self, line):
        if self.open_utterance is not None:
            if STAMP.match(line):
                # An utterance whose end was lost: keep what there was.
                self.utterances.append(self.open_utterance)
                self.open_utterance = None
            else:
                # Orca indents the lines after the first one to its log's margin.
                self._continue(self.open_utterance + "\n" + line.strip())
                return
        found = SPEECH_START.search(line)
        if found:
            self._continue(line[found.end():])

    def _continue(self, text):
        end = SPEECH_END.search(text)
        if end:
            self.utterances.append(text[:end.start()].strip())
            self.open_utterance = None
        else:
            self.open_utterance = text

    def mark(self):
        return len(self.refresh())

    def wait_quiet(self, quiet, timeout):
        """Waits until Orca has written nothing for quiet seconds: it has then dealt with every
        event it was sent (it logs each one as it takes it and as it handles it)."""
        last = [os.path.getsize(self.path), time.monotonic()]

        def still():
            size = os.path.getsize(self.path)
            if size != last[0]:
                last[:] = [size, time.monotonic()]
            return time.monotonic() - last[1] >= quiet * timeout_scale()

        wait_until(still, timeout, "Orca never fell quiet")

    def since(self, mark):
        return self.refresh()[mark:]

    def find(self, pattern, start):
        match = pattern.search if hasattr(pattern, "search") else (lambda u: pattern in u)
        for index, utterance in enumerate(self.refresh()[start:], start):
            if match(utterance):
                return index
        return None

    def wait_for(self, pattern, start, timeout):
        """Index of the first utterance from start on that holds pattern (text or regex)."""
        return wait_until(lambda: _plus_one(self.find(pattern, start)), timeout,
                          "Orca never said %r" % _shown(pattern)) - 1


def _plus_one(index):
    return None if index is None else index + 1


def _shown(pattern):
    return pattern.pattern if hasattr(pattern, "pattern") else pattern


class Desktop:
    """Xvfb, D-Bus, AT-SPI, openbox, speech-dispatcher and Orca, private to one run."""

    def __init__(self, logdir, cachedir):
        missing = missing_tools()
        if missing:
            raise CannotRun("missing: " + ", ".join(missing))
        self.logdir = logdir
        self.cachedir = cachedir
        os.makedirs(logdir, exist_ok=True)
        os.makedirs(cachedir, exist_ok=True)
        # Unix socket paths must stay short, so the run's own folder is under /tmp.
        self.root = tempfile.mkdtemp(prefix="dravel-sr-")
        self.home = os.path.join(self.root, "home")
        self.runtime = os.path.join(self.root, "run")
        self.config_home = os.path.join(self.home, ".config")
        self.config_dirs = os.path.join(self.root, "xdg")
        for folder in (self.home, self.runtime, self.config_home, self.config_dirs):
            os.makedirs(folder, mode=0o700, exist_ok=True)
        self.procs = Processes(logdir)
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.home,
                    "XDG_RUNTIME_DIR": self.runtime, "XDG_CONFIG_HOME": self.config_home,
                    "XDG_CONFIG_DIRS": self.config_dirs, "LANG": LOCALE,
                    "LANGUAGE": "it_IT:it", "TMPDIR": self.root}
        self.orca_log = os.path.join(self.root, "orca-debug.log")
        self.transcript = Transcript(self.orca_log)

    def start(self):
        try:
            self._locale()
            self._xvfb()
            self._dbus()
            self._atspi()
            self._window_manager()
            self._speech_dispatcher()
            self._orca()
        except BaseException:
            self.stop()
            raise

    def stop(self):
        self.procs.stop_all()
        if os.path.exists(self.orca_log):
            shutil.copy(self.orca_log, os.path.join(self.logdir, "orca-debug.log"))
        if not os.environ.get("DRAVEL_SR_KEEP"):
            shutil.rmtree(self.root, ignore_errors=True)

    def _locale(self):
        listed = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout
        if "it_IT.utf8" in listed.split():
            return
        # Compiled once into the build's cache: no root needed, nothing of the system changed.
        target = os.path.join(self.cachedir, "locale")
        if not os.path.exists(os.path.join(target, LOCALE, "LC_CTYPE")):
            os.makedirs(target, exist_ok=True)
            subprocess.run(["localedef", "-i", "it_IT", "-f", "UTF-8",
                            os.path.join(target, LOCALE)], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env["LOCPATH"] = target

    def _xvfb(self):
        read_end, write_end = os.pipe()
        self.procs.start("xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                  "1280x1024x24", "-nolisten", "tcp", "-noreset"],
                         self.env, pass_fds=(write_end,))
        os.close(write_end)
        number = read_line(read_end, 30).strip()
        if not number:
            raise RuntimeError("Xvfb did not start (see xvfb.log)")
        self.env["DISPLAY"] = ":" + number

        def answers():
            return subprocess.run(["xdotool", "getdisplaygeometry"], env=self.env,
                                  stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL).returncode == 0

        wait_until(answers, 30, "the X server")

    def _dbus(self):
        read_end, write_end = os.pipe()
        socket = os.path.join(self.runtime, "bus")
        self.procs.start("dbus", ["dbus-daemon", "--session", "--nofork",
                                  "--address=unix:path=" + socket,
                                  "--print-address=%d" % write_end], self.env,
                         pass_fds=(write_end,))
        os.close(write_end)
        address = read_line(read_end, 30).strip()
        if not address:
            raise RuntimeError("dbus-daemon did not start (see dbus.log)")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address

    def _atspi(self):
        self.procs.start("atspi", [ATSPI_LAUNCHER, "--launch-immediately"], self.env)

        def bus_address():
            reply = subprocess.run(["dbus-send", "--session", "--print-reply",
                                    "--dest=org.a11y.Bus", "/org/a11y/bus",
                                    "org.a11y.Bus.GetAddress"], env=self.env,
                                   capture_output=True, text=True)
            return reply.returncode == 0 and "unix:" in reply.stdout

        wait_until(bus_address, 30, "the AT-SPI bus")

    def _window_manager(self):
        ready = os.path.join(self.root, "wm-ready")
        self.procs.start("openbox", ["openbox", "--startup", "touch " + ready], self.env)
        wait_until(lambda: os.path.exists(ready), 30, "the window manager")

    def _speech_dispatcher(self):
        # Its own configuration: the default sound output hangs after the first sentence on a
        # machine without sound, and Orca would then wait for it for ever.
        config = os.path.join(self.root, "speechd")
        shutil.copytree("/etc/speech-dispatcher", config)
        conf = os.path.join(config, "speechd.conf")
        with open(conf, encoding="utf-8") as f:
            text = f.read()
        with open(conf, "w", encoding="utf-8") as f:
            f.write(re.sub(r"(?m)^#?\s*AudioOutputMethod .*$", "", text))
            f.write('\nAudioOutputMethod "alsa"\n')
        with open(os.path.join(self.home, ".asoundrc"), "w", encoding="utf-8") as f:
            f.write("pcm.!default { type null }\n")
        socket = os.path.join(self.runtime, "speechd.sock")
        self.procs.start("speechd", ["speech-dispatcher", "--run-single", "--timeout", "0",
                                     "--config-dir", config, "--socket-path", socket,
                                     "--pid-file", os.path.join(self.runtime, "speechd.pid"),
                                     "--log-dir", self.logdir], self.env)
        wait_until(lambda: os.path.exists(socket), 30, "speech-dispatcher's socket")
        self.env["SPEECHD_ADDRESS"] = "unix_socket:" + socket

    def _orca(self):
        prefs = os.path.join(self.root, "orca")
        os.makedirs(prefs, exist_ok=True)
        self.procs.start("orca", [PYTHON, os.path.join(HERE, "orca_launcher.py"),
                                  self.orca_log, "-u", prefs], self.env)
        self.transcript.wait_for("Lettore schermo attivo", 0, 60)

    def app_env(self):
        """The environment of a program on this desktop."""
        env = dict(self.env)
        env["QT_QPA_PLATFORM"] = "xcb"
        return env


class Keyboard:
    """Keys pressed through the X server, as a real keyboard's would be."""

    def __init__(self, desktop):
        self.env = desktop.env

    def press(self, *keys):
        subprocess.run(["xdotool", "key", "--delay", "80"] + list(keys), env=self.env,
                       check=True, timeout=30 * timeout_scale())

    def type(self, text):
        subprocess.run(["xdotool", "type", "--delay", "60", "--", text], env=self.env,
                       check=True, timeout=60 * timeout_scale())


class Server:
    """A real orvo-server on a free loopback port."""

    def __init__(self, desktop, binary, *args):
        self.procs = desktop.procs
        self.proc = self.procs.start("orvo-server", [binary, "--port", "0"] + list(args),
                                     desktop.env, stdout=subprocess.PIPE)
        line = read_line(self.proc.stdout.fileno(), 30, close=False)
        found = re.match(r"listening on [\d.]+:(\d+)", line)
        if not found:
            self.stop()
            raise RuntimeError("orvo-server did not start: %r" % line)
        self.port = int(found.group(1))

    def pause(self):
        """Stops the server dead: the client then waits as it would for a slow network."""
        os.kill(self.proc.pid, signal.SIGSTOP)

    def resume(self):
        os.kill(self.proc.pid, signal.SIGCONT)

    def stop(self):
        if self.proc in self.procs.started:
            self.procs.started.remove(self.proc)
        self.procs.stop(self.proc)


def registry_text(port, blind_friendly=True, address="127.0.0.1"):
    return ("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Dravel2]\n"
            '"Version"=dword:00000203\n"Address"="%s"\n"BlindFriendly"=dword:%08x\n'
            '"RemotePort"=dword:%08x\n"Service"=""\n"UserId"="Anonymous"\n'
            % (address, 1 if blind_friendly else 0, port))


class Client:
    """The client, started on the desktop with its own registry file."""

    def __init__(self, desktop, binary, port, blind_friendly=True, argv=()):
        self.procs = desktop.procs
        folder = os.path.join(desktop.config_home, "dravel")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "user.reg"), "w", encoding="utf-8") as f:
            f.write(registry_text(port, blind_friendly))
        self.proc = self.procs.start("dravel", [binary] + list(argv), desktop.app_env())

    def running(self):
        return self.proc.poll() is None

    def stop(self):
        if self.proc in self.procs.started:
            self.procs.started.remove(self.proc)
        self.procs.stop(self.proc)
