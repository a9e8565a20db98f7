# Four-panel figure of one slipvel run, written as PNG and as SVG (gnuplot 5.4).
#
#   gnuplot -e "dir='out'" plot/slipvel.gp                  -> out/slipvel.png, out/slipvel.svg
#   gnuplot -e "dir='run2'; out='figs/run2'" plot/slipvel.gp -> figs/run2.png, figs/run2.svg
#
# `dir` is the folder holding slip_t.csv, slip_a.csv, slip_vel-5triangle.csv and
# parameter.csv of one run (default: the current folder); `out` is the output
# path without extension (default: slipvel in that folder).

if (!exists("dir")) dir = "."
if (!exists("out")) out = dir . "/slipvel"

# Canvas of both images, in pixels; the test checks the PNG header against it.
width = 1400
height = 1000

f_t   = dir . "/slip_t.csv"
f_a   = dir . "/slip_a.csv"
f_tri = dir . "/slip_vel-5triangle.csv"
f_par = dir . "/parameter.csv"

# Records are comma separated; data rows end with a comma, which only adds an
# empty last column. Each file starts with one header record.
set datafile separator ","

# A field is a usable number unless it is the overflow fill (*****) or NaN.
ok(x) = x == x && abs(x) < 1e30
max(a, b) = a > b ? a : b
min(a, b) = a < b ? a : b

# --- Values of the run ---------------------------------------------------------
set table $scratch
# Parameter row: the fields as text, exactly as the file states them, and the
# values that the figure places as numbers.
plot f_par skip 1 every ::0:0:0:0 using \
  (s_td = trim(strcol(1)), s_vm = trim(strcol(2)), s_tr = trim(strcol(3)), \
   s_ts = trim(strcol(4)), s_slip = trim(strcol(5)), s_td2 = trim(strcol(6)), \
   s_tr2 = trim(strcol(8)), s_vtr = trim(strcol(9)), s_ts2 = trim(strcol(10)), \
   s_vts = trim(strcol(11)), \
   td = column(1), slip = column(5), td2 = column(6), tr2 = column(8), \
   ts2 = column(10), 0):(0) with table
# Window records "k, first-half rise time, second-half rise time, area ratio":
# the first-half rise times of windows 2, 3, 4 are the picked tr/2, tr/4, tr/8.
tr2_2 = tr2_3 = tr2_4 = NaN
plot f_par using (valid(1) && valid(2) && valid(4) ? \
  (k = int(column(1)), \
   k == 2 ? tr2_2 = column(2) : k == 3 ? tr2_3 = column(2) : k == 4 ? tr2_4 = column(2) : 0) \
  : 0):(0) with table
# The last row of slip_t.csv gives the final slip as written; the last time at
# which anything moves sets the end of the time axes.
t_last = 0
plot f_t skip 1 using (s_end = trim(strcol(2)), s_tend = trim(strcol(1)), \
  (column(3) != 0 || column(4) != 0) ? t_last = column(1) : 0):(0) with table
plot f_tri skip 1 using (column(8) != 0 && column(1) > t_last ? t_last = column(1) : 0):(0) with table
unset table
undefine $scratch

# Velocity range of the pulse and of the triangles, for the label headroom.
v_top = 0
v_bot = 0
do for [c = 2:8] {
  undefine STATS_*
  stats f_tri skip 1 using c nooutput
  if (exists("STATS_max")) { v_top = max(v_top, STATS_max); v_bot = min(v_bot, STATS_min) }
}
# Spectral range over the three columns, for the label headroom on log axes.
a_lo = 1e30
a_hi = 0
do for [c = 2:4] {
  undefine STATS_*
  stats f_a skip 1 using (column(c) > 0 ? column(c) : NaN) nooutput
  if (exists("STATS_max")) { a_lo = min(a_lo, STATS_min); a_hi = max(a_hi, STATS_max) }
}

# Time axes end a quarter beyond the last motion (and at 10 s at most).
tmax = ok(t_last) && t_last > 0 ? (t_last >= 8 ? 10 : ceil(t_last * 1.25 + 0.25)) : 10
# Zoom of the inset on the rise of the pulse, where the acceleration peaks.
t_zoom = ok(td2) && td2 > 0 ? min(6 * td2, tmax / 2.0) : tmax / 10.0
# fmax is not in the files: td = 1/(pi fmax) is, to 3 decimals, so the mark is
# at 1/(pi td), which is fmax only to the precision of td.
f_mark = ok(td) && td > 0 ? 1 / (pi * td) : NaN

# --- Look ------------------------------------------------------------------------
set termoption noenhanced
set grid lc rgb "#dddddd" lt 1
key_style = "set key default; set key opaque box lc rgb '#bbbbbb' samplen 2.5 spacing 1.1"
title_font = "Sans,13"
# Triangles 1 to 5, widest first.
tri_colour(k) = word("#9467bd #2ca02c #1f77b4 #ff7f0e #8c564b", k)
# Tic step of 1, 2 or 5 times a power of ten giving about five steps over x.
tic_step(x) = (p = 10.0 ** floor(log10(x / 5.0)), m = x / 5.0 / p, (m < 1.5 ? 1 : m < 3.5 ? 2 : m < 7.5 ? 5 : 10) * p)
set border lw 1.2
set tics nomirror out
set mxtics
set mytics

# Dotted vertical line at x with a label at the top of the panel: upright
# beside the line, ending at the top (rot = 1), or level, left of the line.
mark(n, x, text, rot) = sprintf("set arrow %d from %.7g, graph 0 to %.7g, graph 1 nohead dt 3 lw 1.3 lc rgb '#555555' back; ", n, x, x) . \
  (rot ? sprintf("set label %d '%s' at %.7g, graph 0.985 rotate by 90 right offset 1.1, 0 tc rgb '#333333' front", n, text, x) \
       : sprintf("set label %d '%s' at %.7g, graph 0.95 right offset -0.6, 0 tc rgb '#333333' front", n, text, x))
in_time(x) = ok(x) && x >= 0 && x <= tmax

# Panel placement on the canvas (screen fractions): two columns, two rows.
col_l(c) = c == 1 ? 0.065 : 0.565
col_r(c) = c == 1 ? 0.475 : 0.975
row_t(r) = r == 1 ? 0.865 : 0.435
row_b(r) = r == 1 ? 0.545 : 0.075
place(c, r) = sprintf("set lmargin at screen %g; set rmargin at screen %g; set tmargin at screen %g; set bmargin at screen %g", \
  col_l(c), col_r(c), row_t(r), row_b(r))

title_1 = "Run parameters (parameter.csv):   td = " . s_td . " s    Vm = " . s_vm . " m/s    tr = " . s_tr . \
  " s    ts = " . s_ts . " s    slip = " . s_slip . " m"
title_2 = "Picked from the velocity history:   td2 = " . s_td2 . " s    tr2 = " . s_tr2 . " s (V = " . s_vtr . \
  " m/s)    ts2 = " . s_ts2 . " s (V = " . s_vts . " m/s)"

do for [fmt in "png svg"] {
  if (fmt eq "png") {
    set terminal pngcairo size width, height font "Sans,11" linewidth 1.2
  } else {
    set terminal svg size width, height font "Sans,11" linewidth 1.2 background "white"
  }
  set output out . "." . fmt
  set multiplot title title_1 . "\n" . title_2 font "Sans,13"

  # 1: slip velocity, the five triangles and their sum, with the picked times.
  eval place(1, 1)
  set title "Slip velocity and five triangles" font title_font
  set xlabel "time (s)"
  set ylabel "slip velocity (m/s)"
  set xrange [0:tmax]
  # The top third is headroom for the labels of the picked times; its tics are
  # left out, so that the axis reads only over the data.
  if (v_top > v_bot) {
    v_step = tic_step(v_top - v_bot)
    set yrange [*:v_top + 0.6 * (v_top - v_bot)]
    set ytics floor(v_bot / v_step) * v_step, v_step, v_top
  }
  eval key_style
  set key at graph 0.985, graph 0.6 right top
  if (in_time(td2))   { eval mark(1, td2,   "td2 = " . s_td2 . " s", 1) }
  if (in_time(tr2_4)) { eval mark(2, tr2_4, sprintf("tr/8 ≈ %.2f s", tr2_4), 1) }
  if (in_time(tr2_3)) { eval mark(3, tr2_3, sprintf("tr/4 ≈ %.2f s", tr2_3), 1) }
  if (in_time(tr2_2)) { eval mark(4, tr2_2, sprintf("tr/2 ≈ %.2f s", tr2_2), 1) }
  if (in_time(tr2))   { eval mark(5, tr2,   "tr2 = " . s_tr2 . " s", 1) }
  if (in_time(ts2))   { eval mark(6, ts2,   "ts2 = " . s_ts2 . " s", 1) }
  plot f_t skip 1 using 1:3 with lines lw 3 lc rgb "black" title "slip velocity", \
       for [k = 1:5] f_tri skip 1 using 1:(column(k + 2)) with lines lw 1.5 lc rgb tri_colour(k) \
         title sprintf("triangle %d", k), \
       f_tri skip 1 using 1:8 with lines lw 2 dt 2 lc rgb "#d62728" title "sum of triangles"
  unset arrow
  unset label
  set ytics autofreq

  # 2: slip history against the requested final slip.
  eval place(2, 1)
  set title "Slip history" font title_font
  set ylabel "slip (m)"
  set yrange [*:*]
  eval key_style
  set key bottom right
  plot f_t skip 1 using 1:2 with lines lw 3 lc rgb "#1f77b4" \
         title "slip (" . s_end . " m at " . s_tend . " s)", \
       (ok(slip) ? slip : NaN) with lines lw 1.5 dt 2 lc rgb "#d62728" \
         title "requested slip " . s_slip . " m"

  # 3: slip acceleration, with an inset on the rise of the pulse.
  eval place(1, 2)
  set title "Slip acceleration" font title_font
  set ylabel "slip acceleration (m/s²)"
  eval key_style
  set key top right
  plot f_t skip 1 using 1:4 with lines lw 2 lc rgb "#2ca02c" title "slip acceleration"
  set lmargin at screen 0.245
  set rmargin at screen 0.455
  set tmargin at screen 0.355
  set bmargin at screen 0.19
  unset title
  unset key
  set xlabel "zoom on the first " . gprintf("%g", t_zoom) . " s" offset 0, 0.6
  unset ylabel
  set xrange [0:t_zoom]
  set xtics font ",9"
  set ytics font ",9"
  set object 1 rectangle from graph 0, graph 0 to graph 1, graph 1 behind fc rgb "white" fs solid noborder
  plot f_t skip 1 using 1:4 with lines lw 2 lc rgb "#2ca02c" notitle
  unset object 1
  set xtics font ""
  set ytics font ""
  set xlabel offset 0, 0

  # 4: amplitude spectra on log-log axes, with the frequency that td stands for;
  # spectra without a positive value (no motion) stay on linear axes.
  eval place(2, 2)
  set title "Amplitude spectra" font title_font
  set xlabel "frequency (Hz)"
  set ylabel "amplitude (units in the key)"
  if (a_hi > 0) {
    set logscale xy
    set format x "%g"
    set format y "10^{%L}"
    set termoption enhanced
    set xrange [0.01:50]
    set yrange [a_lo / 3:a_hi * 100]
  } else {
    set xrange [0:40]
    set yrange [*:*]
  }
  eval key_style
  set key bottom left
  if (ok(f_mark) && f_mark > 0.01 && f_mark < 50) {
    eval mark(1, f_mark, sprintf("fmax ≈ 1/(π·td) = %.3g Hz  (td = %s s)", f_mark, s_td), 0)
    # Label on the side with more room.
    if (f_mark < (a_hi > 0 ? 0.5 : 20)) { set label 1 left offset 0.6, 0 }
  }
  plot f_a skip 1 using 1:2 with lines lw 2 lc rgb "#1f77b4" title "slip (m·s)" noenhanced, \
       f_a skip 1 using 1:3 with lines lw 2 lc rgb "black" title "slip velocity (m)" noenhanced, \
       f_a skip 1 using 1:4 with lines lw 2 lc rgb "#2ca02c" title "slip acceleration (m/s)" noenhanced
  unset arrow
  unset label
  unset logscale
  set format x "% h"
  set format y "% h"
  set termoption noenhanced

  unset multiplot
  unset output
}
