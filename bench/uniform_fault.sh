#!/usr/bin/env bash
# A uniform plane of LENGTH x WIDTH subfaults of 1 x 1 km with the example
# answers, the fault description of the benchmarks:
#   bench/uniform_fault.sh LENGTH WIDTH > f.toml
cat <<TOML
LON_TOP_CENTER = -118.515
LAT_TOP_CENTER = 34.344
DEPTH_TO_TOP = 5.0
FAULT_LENGTH = $1
DLEN = 1
FAULT_WIDTH = $2
DWID = 1
STRIKE = 122
DIP = 40
RAKE = 105
HYPO_ALONG_STK = 0
HYPO_DOWN_DIP = 1
[rupture]
velocity = 2.8
[medium]
vs = 3.5
density = 2.7
[pulse]
fmax = 6
slip = 4.65
vm = 4.32
ts = 2.8
TOML
