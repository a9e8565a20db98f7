#!/usr/bin/env python3
"""The example pulse of slipvel and its amplitude spectrum, plotted with
matplotlib: python3 examples/pulse.py [OUT.png]."""
import sys

import matplotlib

matplotlib.use("Agg")  # a file, no window
import matplotlib.pyplot as plt

import slipvel

# The program's example answers: fmax (Hz), slip (m), vm (m/s), ts (s).
p = slipvel.pulse(6, 4.65, 4.32, 2.8)
slip, velocity, acceleration = p.histories()
freq, slip_a, vel_a, acc_a = p.spectra()

fig, (left, right) = plt.subplots(1, 2, figsize=(10, 4))
left.plot(p.t, p.rate, label="slip velocity (m/s)")
left.plot(p.t, slip, label="slip (m)")
left.axvline(p.td, color="grey", lw=0.5)
left.set(xlabel="time (s)", xlim=(0, 4), title="td = %.4f s, tr = %.4f s" % (p.td, p.tr))
left.legend()
right.loglog(freq, vel_a)
right.set(xlabel="frequency (Hz)", ylabel="amplitude of the slip velocity (m)", title="spectrum")
fig.tight_layout()
out = sys.argv[1] if len(sys.argv) > 1 else "pulse.png"
fig.savefig(out)
print("written:", out)
