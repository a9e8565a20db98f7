"""The program's text layouts, written here from their rules alone (C's
printf conversions of the float widened to double), so that arrays of the
module printed with them can be held against the program's files."""
import math


def fixed(x, w, d):
    """A fixed-point field w wide with d decimals (Fortran fw.d)."""
    x = float(x)
    if math.isnan(x):
        return "nan".rjust(w)
    if math.isinf(x):
        return ("-inf" if x < 0 else "inf").rjust(w)
    s = "%.*f" % (d, abs(x))
    minus = x < 0 and s.strip("0.") != ""
    if len(s) + minus == w + 1 and s[0] == "0":
        s = s[1:]  # one column short: the 0 before the point gives way
    s = ("-" if minus else "") + s
    return "*" * w if len(s) > w else s.rjust(w)


def exponent(x, w, d):
    """An exponent field w wide with d digits (Fortran ew.d): 0.ddddE+XX."""
    x = float(x)
    minus = x < 0
    delta = w - (d + 5) - minus
    if delta < 0:
        return "*" * w
    if math.isnan(x):
        return "NAN".rjust(w)
    if math.isinf(x):
        return ("-INF" if minus else "INF").rjust(w)
    if x == 0:
        digits, e = "0" * d, 0
    else:
        m, e = ("%.*E" % (d - 1, abs(x))).split("E")
        digits, e = m.replace(".", ""), int(e) + 1
    return (" " * max(delta - 1, 0) + ("-" if minus else "") + ("0" if delta > 0 else "") + "." + digits
            + "E" + ("-" if e < 0 else "+") + "%02d" % abs(e))


def real(x):
    """A free-format real item: a blank, a blank or minus, %.9G with a point."""
    x = float(x)
    if x == 0:
        return "  0."
    if math.isnan(x):
        return "  NAN"
    sign = "-" if x < 0 else " "
    if math.isinf(x):
        return " " + sign + "INF"
    s = "%.9G" % abs(x)
    m, _, e = s.partition("E")
    if "." not in m:
        m += "."
    return " " + sign + m + ("E" + e if e else "")


def row(values, layout):
    """A fixed-field record: (w, d, kind) per value, each followed by a comma."""
    return "".join((fixed(v, w, d) if k == "f" else exponent(v, w, d)) + ","
                   for v, (w, d, k) in zip(values, layout)) + "\n"


def slip_t(pulse):
    slip, vel, acc = pulse.histories()
    lines = [" time (s),slip_t (dis),slip_t (vel),slip_t (acc)\n"]
    lay = [(8, 2, "f")] + [(15, 5, "f")] * 3
    lines += [row(v, lay) for v in zip(pulse.t, slip, vel, acc)]
    return "".join(lines)


def slip_a(pulse):
    lines = [" freq (Hz),slip_a (dis),slip_a (vel),slip_a (acc)\n"]
    lay = [(8, 4, "f")] + [(15, 5, "e")] * 3
    lines += [row(v, lay) for v in zip(*pulse.spectra())]
    return "".join(lines)


def triangles(w):
    lines = [" time (s),slip_t (vel),tri_1,tri_2,tri_3,tri_4,tri_5,sum_tri\n"]
    lay = [(8, 2, "f")] + [(15, 5, "f")] * 7
    lines += [row(v, lay) for v in zip(w.t, w.rate, *w.triangles, w.sum)]
    return "".join(lines)


def parameter(w):
    lines = [" td (s),Vm (m/s),tr (s),ts (s),slip (m),td2 (s)              ,V_td (m/s),"
             "tr2 (s),V_tr (m/s),ts2 (s),V_ts (m/s)\n",
             row(w.parameters, [(5, 3, "f")] * 11), "\n",
             " Number of Time Windows,Interval Time (s)\n", " 5,0\n",
             " Time Window Number,1st Half Rise Time (s)     ,2nd Half Rise Time (s),"
             "Ratio of Triangle area\n"]
    for k, (r1, r2, q) in enumerate(w.table):
        lines.append(" %d," % (k + 1) + real(r1) + "," + real(r2) + "," + real(q) + "\n")
    return "".join(lines)
