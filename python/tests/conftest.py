"""Where the built programs and the project's files are (set by ctest)."""
import os
import signal
import subprocess
import sys
import time

import pytest

sys.path.insert(0, os.path.dirname(__file__))

SOURCE = os.environ.get("SLIPVEL_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
SLIPVEL = os.environ.get("SLIPVEL_BIN", "")
FAULT = os.environ.get("SLIPVEL_FAULT_BIN", "")
SHARED = os.environ.get("SLIPVEL_SHARED", os.path.join(SOURCE, "..", "shared"))


def run_program(folder, answers):
    """A run of the built slipvel in `folder`; its status and standard error."""
    text = "".join("%r\n" % float(a) for a in answers)
    p = subprocess.run([SLIPVEL], input=text.encode(), cwd=folder, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, timeout=60)
    return p.returncode, p.stderr.decode()


def run_fault(*args, cwd=None):
    return subprocess.run([FAULT, *args], cwd=cwd, capture_output=True, text=True, timeout=120)


def interrupted_within_a_second(call):
    """Python code `call` run in a child that Ctrl-C hits half a second in:
    it must end in KeyboardInterrupt within a second (and a half)."""
    code = ("import numpy as np, slipvel, sys\nprint('ready', flush=True)\ntry:\n    %s\n"
            "except KeyboardInterrupt:\n    print('interrupted', flush=True)\n" % call)
    child = subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "ready\n"
        time.sleep(0.5)
        child.send_signal(signal.SIGINT)
        start = time.monotonic()
        out, _ = child.communicate(timeout=20)
        assert out == "interrupted\n"
        assert time.monotonic() - start < 1.5
    finally:
        child.kill()


@pytest.fixture
def folder(tmp_path):
    return tmp_path
