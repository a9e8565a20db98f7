"""slipvel.srf against slipvel-fault info and the tool's own files."""
import glob
import os
import subprocess
import sys

import numpy as np
import pytest

import slipvel
from conftest import SHARED, SOURCE, interrupted_within_a_second, run_fault

GOLDEN = sorted(glob.glob(os.path.join(SOURCE, "tests/golden/fault/*.srf")))
SHARED_FILES = sorted(glob.glob(os.path.join(SHARED, "srf/*.srf")))


def info_facts(path):
    r = run_fault("info", path)
    return r.returncode, dict(line.split(": ", 1) for line in r.stdout.splitlines()), r.stderr


@pytest.mark.parametrize("path", GOLDEN + SHARED_FILES, ids=os.path.basename)
def test_facts_as_info_prints_them(path):
    status, facts, err = info_facts(path)
    if status != 0:
        # A file that info refuses raises ValueError with the same line.
        with pytest.raises(ValueError) as e:
            slipvel.srf.read(path)
        assert err == "slipvel-fault: %s\n" % e.value
        return
    f = slipvel.srf.read(path)
    assert f.facts() == facts
    assert f.version == facts["version"]
    assert len(f.points) == int(facts["points"]) and f.blocks.sum() == len(f.points)
    # VS and DEN where the points have them: not in 1.0, nor in a 2.0 file
    # whose points have 8 fields (read with a warning).
    assert ("VS" in f.points.dtype.names) == (f.version == "2.0" and not f.warnings)
    for r in "123":
        off, sr = getattr(f, "off" + r), getattr(f, "sr" + r)
        assert off[0] == 0 and off[-1] == len(sr) and sr.dtype == np.float32
        assert (np.diff(off) == f.points["NT" + r]).all()


def test_shared_files_present():
    if not SHARED_FILES:
        pytest.skip("no shared SRF files at %s" % SHARED)
    # The counts of the shared files' README, from the arrays themselves.
    f = slipvel.srf.read(os.path.join(SHARED, "srf/m5.5-5.6x5.6.s200.0.v5.1.srf"))
    assert len(f.points) == 729 and (f.points["NT1"] > 0).sum() == 638 and f.points["NT1"].max() == 15
    assert abs((f.points["AREA"] * f.points["SLIP1"]).sum() / 1e6 / 8.423107e6 - 1) < 1e-6
    assert f.planes[0]["NSTK"] == 27 and f.points["TINIT"].max() == 9.4834


@pytest.mark.parametrize("path", GOLDEN, ids=os.path.basename)
def test_write_read_byte_for_byte(path, tmp_path):
    out = str(tmp_path / "copy.srf")
    slipvel.srf.write(out, slipvel.srf.read(path))
    assert open(out, "rb").read() == open(path, "rb").read()
    # The arrays one by one, as a user who built them would pass them.
    f = slipvel.srf.read(path)
    slipvel.srf.write(out, f.planes, f.points, f.sr1, f.off1, version=f.version)
    assert open(out, "rb").read() == open(path, "rb").read()
    assert os.listdir(tmp_path) == ["copy.srf"]


def test_malformed_file_reader_message(tmp_path):
    good = open(GOLDEN[-1]).read().splitlines(True)
    cases = {
        "bad-version.srf": ["3.0\n"] + good[1:],
        "short.srf": good[:12],
        "bad-sample.srf": good[:9] + [good[9].replace("e", "x", 1)] + good[10:],
    }
    for name, lines in cases.items():
        path = str(tmp_path / name)
        open(path, "w").write("".join(lines))
        status, _, err = info_facts(path)
        assert status == 2
        with pytest.raises(ValueError) as e:
            slipvel.srf.read(path)
        assert err == "slipvel-fault: %s\n" % e.value
        assert str(e.value).startswith(path + ":")
    with pytest.raises(OSError):
        slipvel.srf.read(str(tmp_path / "absent.srf"))


def test_write_refusals_name_the_argument(tmp_path):
    f = slipvel.srf.read(GOLDEN[-1])
    out = str(tmp_path / "x.srf")
    cases = [
        (lambda: slipvel.srf.write(out, f.planes, f.points, f.sr1, f.off1[:-1]), ValueError, "off1 must be"),
        (lambda: slipvel.srf.write(out, f.planes, f.points, f.sr1[:-1], f.off1), ValueError, "off1 must run"),
        (lambda: slipvel.srf.write(out, f.planes, f.points[["LON", "LAT"]], f.sr1, f.off1), ValueError,
         "points has no field DEP"),
        (lambda: slipvel.srf.write(out, f.planes, f.points, f.sr1, f.off1, version="3.0"), ValueError,
         'version is "1.0" or "2.0"'),
        (lambda: slipvel.srf.write(out, f.planes, np.zeros(3), f.sr1, f.off1), TypeError, "points must be"),
    ]
    for call, kind, text in cases:
        with pytest.raises(kind) as e:
            call()
        assert text in str(e.value)
    assert os.listdir(tmp_path) == []


WRITE_LIMITED = """
import resource, signal, sys, slipvel
signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
f = slipvel.srf.read(sys.argv[1])
resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))
try:
    slipvel.srf.write(sys.argv[2], f)
except OSError as e:
    print("OSError", e)
"""


def test_full_disk_keeps_the_older_file(tmp_path):
    # A file limit of 4 KiB stands for a full disk: the write fails, the
    # older file stays whole and no temporary is left behind.
    target = tmp_path / "f.srf"
    target.write_text("older\n")
    r = subprocess.run([sys.executable, "-c", WRITE_LIMITED, GOLDEN[-1], str(target)],
                       capture_output=True, text=True, timeout=60)
    assert r.stdout.startswith("OSError " + str(target) + ": write failed: File too large"), r.stdout + r.stderr
    assert target.read_text() == "older\n"
    assert os.listdir(tmp_path) == ["f.srf"]


def test_unwritable_folder(tmp_path):
    f = slipvel.srf.read(GOLDEN[-1])
    with pytest.raises(OSError):
        slipvel.srf.write(str(tmp_path / "no" / "such" / "f.srf"), f)
    os.chmod(tmp_path, 0o555)
    try:
        code = "import slipvel, sys; slipvel.srf.write(sys.argv[1], slipvel.srf.read(sys.argv[2]))"
        r = subprocess.run(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                            sys.executable, "-c", code, str(tmp_path / "f.srf"), GOLDEN[-1]],
                           capture_output=True, text=True, timeout=60)
        assert r.returncode != 0 and "\nOSError: " in r.stderr, r.stderr
        assert os.listdir(tmp_path) == []
    finally:
        os.chmod(tmp_path, 0o755)


FEED = """
import sys
out = open(sys.argv[1], "w")
out.write("2.0\\nPOINTS 100000000\\n")
point = ("  -118.515000   34.344000  5.00000e+00  122   40  1.00000e+10  0.000000e+00  1.00000e-02"
         "   3.50000e+05   2.70000e+00\\n  105     1.0000      6     0.0000      0     0.0000      0\\n"
         + "  1.00000e+02" * 6 + "\\n")
try:
    while True:
        out.write(point * 1000)
except BrokenPipeError:
    pass
"""
def test_read_interrupt_within_a_second(tmp_path):
    # An endless file through a FIFO: Ctrl-C ends the read, whatever its size.
    fifo = str(tmp_path / "endless.srf")
    os.mkfifo(fifo)
    feed = subprocess.Popen([sys.executable, "-c", FEED, fifo], stderr=subprocess.DEVNULL)
    try:
        interrupted_within_a_second("slipvel.srf.read(%r)" % fifo)
    finally:
        feed.kill()
        feed.wait()
