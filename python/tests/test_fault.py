"""slipvel.fault against slipvel-fault's own run."""
import os
import shutil

import numpy as np
import pytest

import slipvel
from conftest import SOURCE, run_fault

DATA = os.path.join(SOURCE, "tests/fault/data")


@pytest.fixture
def small(tmp_path):
    for name in ("small.toml", "small_table.csv"):
        shutil.copy(os.path.join(DATA, name), tmp_path / name)
    return tmp_path


def test_write_srf_is_the_tools_run(small):
    slipvel.fault.write_srf(str(small / "small.toml"), str(small / "py.srf"), jobs=2)
    golden = os.path.join(SOURCE, "tests/golden/fault/small-2.0.srf")
    assert open(small / "py.srf", "rb").read() == open(golden, "rb").read()
    slipvel.fault.write_srf(str(small / "small.toml"), str(small / "py1.srf"), version="1.0")
    golden = os.path.join(SOURCE, "tests/golden/fault/small-1.0.srf")
    assert open(small / "py1.srf", "rb").read() == open(golden, "rb").read()


def test_subfaults_are_the_csv_columns(small):
    s = slipvel.fault.subfaults(str(small / "small.toml"))
    lines = open(os.path.join(SOURCE, "tests/golden/fault/small.csv")).read().splitlines()
    names = lines[0].split(",")
    assert list(s.dtype.names) == names and len(s) == len(lines) - 1
    for row, line in zip(s, lines[1:]):
        for name, text in zip(names, line.split(",")):
            kind = s.dtype[name]
            value = int(text) if kind.kind == "i" else kind.type(float(text))
            assert row[name] == value, (name, text)
    assert s.dtype["fmax"] == np.float32 and s.dtype["i"] == np.int64


def test_refused_description(small):
    (small / "bad.toml").write_text((small / "small.toml").read_text().replace("[", "[[", 1))
    r = run_fault(str(small / "bad.toml"), cwd=small)
    assert r.returncode == 2
    for call in (lambda: slipvel.fault.subfaults(str(small / "bad.toml")),
                 lambda: slipvel.fault.write_srf(str(small / "bad.toml"), str(small / "b.srf"))):
        with pytest.raises(ValueError) as e:
            call()
        assert r.stderr == "slipvel-fault: %s\n" % e.value
    assert not (small / "b.srf").exists()
