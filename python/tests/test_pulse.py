"""slipvel.pulse, windows and pulses against direct runs of the program."""
import numpy as np
import pytest

import slipvel
import layouts
from conftest import interrupted_within_a_second, run_program

# The example answers and three more: a low fmax (triangle 5 without a
# falling edge), a pulse longer than the grid, a short one.
ANSWERS = [(6, 4.65, 4.32, 2.8), (1, 2.0, 1.5, 2.8), (10, 3.3, 2.2, 12.5), (3.5, 0.42, 1.9, 0.9)]


@pytest.mark.parametrize("answers", ANSWERS)
def test_files_byte_for_byte(folder, answers):
    status, err = run_program(folder, answers)
    assert status == 0, err
    p = slipvel.pulse(*answers)
    w = slipvel.windows(*answers)
    printed = {"slip_t.csv": layouts.slip_t(p), "slip_a.csv": layouts.slip_a(p),
               "slip_vel-5triangle.csv": layouts.triangles(w), "parameter.csv": layouts.parameter(w)}
    for name, text in printed.items():
        assert (folder / name).read_text() == text, name


def test_example_values():
    # Worked values of the example run: td, tr, tb and the sampled peak.
    p = slipvel.pulse(6, 4.65, 4.32, 2.8)
    assert (p.td, p.tr) == (np.float32(0.0530516468), np.float32(1.86666667))
    assert abs(p.tb - 0.0563021) < 5e-7
    assert p.rate.dtype == np.float32 and p.rate.shape == (1001,)
    assert not p.rate.flags.writeable and p.t[100] == np.float32(1.0)
    w = slipvel.windows(6, 4.65, 4.32, 2.8)
    assert w.picks["td2"] == np.float32(0.05) and w.picks["ts2"] == np.float32(2.8)
    assert round(float(w.sum_area), 5) == 4.68902


def test_pulses_row_for_row():
    rng = np.random.default_rng(26)
    n = 1000
    fmax, slip = rng.uniform(0.5, 20, n), rng.uniform(0.01, 9, n)
    vm, ts = rng.uniform(0.2, 9, n), rng.uniform(0.3, 9.5, n)
    rate, td, tr, tb = slipvel.pulses(fmax, slip, vm, ts, errors="nan")
    assert rate.shape == (n, 1001) and rate.dtype == np.float32
    for k in range(n):
        try:
            p = slipvel.pulse(fmax[k], slip[k], vm[k], ts[k])
        except ValueError:
            assert np.isnan(rate[k]).all() and np.isnan(tb[k])
            continue
        assert rate[k].tobytes() == p.rate.tobytes(), k
        assert (td[k], tr[k], tb[k]) == (p.td, p.tr, p.tb)
    # Strided and float32 views are read as the values they show.
    half = slipvel.pulses(fmax[::2].astype(np.float32), slip[::2], vm[::2], ts[::2], errors="nan")[0]
    assert half.tobytes() == slipvel.pulses(np.float32(fmax[::2]), slip[::2].copy(), vm[::2].copy(),
                                            ts[::2].copy(), errors="nan")[0].tobytes()
    # One thread gives the same bits as all of them.
    assert slipvel.pulses(fmax[:50], slip[:50], vm[:50], ts[:50], errors="nan", jobs=1)[0].tobytes() \
        == rate[:50].tobytes()


def test_refusals_name_the_argument():
    cases = [
        (lambda: slipvel.pulse("6", 4.65, 4.32, 2.8), TypeError, "fmax must be a real number, not str"),
        (lambda: slipvel.windows(6, 4.65, None, 2.8), TypeError, "vm must be a real number, not NoneType"),
        (lambda: slipvel.pulses([6, 6], [4.65], [4.32, 4.32], [2.8, 2.8]), ValueError,
         "slip has 1 values, fmax 2"),
        (lambda: slipvel.pulses([6], [4.65], [[4.32]], [2.8]), ValueError, "vm must be a 1-D array, not 2-D"),
        (lambda: slipvel.pulses([6], [4.65], [4.32], ["a"]), TypeError, "ts must be a 1-D array of real numbers"),
        (lambda: slipvel.pulses([6], [4.65], [4.32], [2.8], errors="skip"), ValueError, 'errors must be "raise"'),
    ]
    for call, kind, text in cases:
        with pytest.raises(kind) as e:
            call()
        assert text in str(e.value)


def test_refused_pulse_as_the_program_says(folder):
    # A negative fmax gives no pulse the search can end on: the program
    # quits with its line and status 2; pulse, windows and pulses say it too.
    answers = (-6, 4.65, 4.32, 2.8)
    status, err = run_program(folder, answers)
    assert status == 2
    line = err.strip()
    assert line == "slip-velocity search does not converge for td =  -0.0530516468"
    for call in (slipvel.pulse, slipvel.windows):
        with pytest.raises(ValueError) as e:
            call(*answers)
        assert str(e.value).startswith(line)
    with pytest.raises(ValueError) as e:
        slipvel.pulses([6, -6, -6], [4.65] * 3, [4.32] * 3, [2.8] * 3)
    assert str(e.value).startswith("row 1: " + line)
    rate, td, tr, tb = slipvel.pulses([6, -6], [4.65] * 2, [4.32] * 2, [2.8] * 2, errors="nan")
    assert rate[0].tobytes() == slipvel.pulse(6, 4.65, 4.32, 2.8).rate.tobytes()
    assert np.isnan(rate[1]).all() and np.isnan(tb[1]) and td[1] == np.float32(-0.0530516468)


def test_windows_refused_where_read_back_fails(folder):
    # A velocity too large for its 15 columns is written as asterisks, and
    # the program's read-back stops there.
    answers = (6, 4.65, 1e12, 2.8)
    status, err = run_program(folder, answers)
    assert status != 0
    first = err.splitlines()[0]
    assert first == "bad repetition count: incomprehensible list input"
    slipvel.pulse(*answers)  # the pulse itself is there
    with pytest.raises(ValueError) as e:
        slipvel.windows(*answers)
    assert "slip_t.csv, line 3: " + first in str(e.value)


def test_pulses_interrupt_within_a_second():
    n = 300000
    interrupted_within_a_second("slipvel.pulses(np.full(%d, 6.0), np.full(%d, 4.65), np.full(%d, 4.32), "
                                "np.full(%d, 2.8))" % ((n,) * 4))
