# Hydrograph of run-example.sh: outlet discharge against time under the classic and the
# conservative scheme, with the basin-mean rainfall as bars hanging from the top on a second,
# inverted axis (the usual hydrograph convention). All are hourly means, drawn at the middle of
# their hour.
# Variables: data (columns: hour, rainfall mm/h, discharge m3/s under the classic scheme, the
# same under the conservative scheme), out, label, maxRain.
set terminal pngcairo size 960,540 font "sans,11"
set output out
set title label
set xlabel "Hour since the start of the run"
set ylabel "Discharge (m^3/s)"
set y2label "Basin-mean rainfall (mm/h)"
set xrange [0:*]
set yrange [0:*]
set offsets 0, 0, graph 0.45, 0
# Rain bars take the upper part of the plot: the y2 axis runs downwards from 0 at the top.
set y2range [maxRain * 2.5:0]
set ytics nomirror
set y2tics
set grid xtics ytics
set key center right
set style fill solid 0.6 noborder
set boxwidth 1.0
plot data using ($1 - 0.5):2 axes x1y2 with boxes lc rgb "#4a90d9" title "Rainfall", \
     data using ($1 - 0.5):3 with lines lw 2 lc rgb "#c0392b" title "Discharge, classic scheme", \
     data using ($1 - 0.5):4 with lines lw 2 dt 2 lc rgb "#1e8449" title "Discharge, conservative scheme"
