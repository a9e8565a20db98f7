"""Where the built programs and the project's files are (set by ctest)."""
import os
import subprocess
import sys

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


@pytest.fixture
def folder(tmp_path):
    return tmp_path
