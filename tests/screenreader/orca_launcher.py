"""Starts Orca for a test run: its debug log line-buffered, so every spoken line is on disk as
soon as Orca writes it, and blind to the other Orca processes of this user (every developer on
the machine is the same user, and Orca refuses to start beside another one).

Usage: orca_launcher.py DEBUG_FILE [orca options...]
"""
import sys

ORCA = "/usr/bin/orca"


def main():
    debug_path = sys.argv[1]
    sys.argv = ["orca"] + sys.argv[2:]
    scope = {"__name__": "orca_launcher", "__file__": ORCA}
    with open(ORCA, encoding="utf-8") as script:
        exec(compile(script.read(), ORCA, "exec"), scope)
    # Each test run has its own desktop; other runs' screen readers are none of its business,
    # and this one keeps a name that theirs will not take for a rival.
    scope["otherOrcas"] = lambda: []
    scope["setProcessName"] = lambda name: False
    debug = scope["debug"]
    debug.debugLevel = debug.LEVEL_ALL
    debug.eventDebugLevel = debug.LEVEL_OFF
    debug.debugFile = open(debug_path, "w", buffering=1, encoding="utf-8")
    sys.exit(scope["main"]())


if __name__ == "__main__":
    main()
