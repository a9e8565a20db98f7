"""The README's example runs and writes its picture."""
import os
import subprocess
import sys

from conftest import SOURCE


def test_example_writes_its_picture(tmp_path):
    r = subprocess.run([sys.executable, os.path.join(SOURCE, "examples/pulse.py"), "p.png"], cwd=tmp_path,
                       capture_output=True, text=True, timeout=120)
    assert r.returncode == 0, r.stderr
    assert r.stdout == "written: p.png\n"
    assert (tmp_path / "p.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
