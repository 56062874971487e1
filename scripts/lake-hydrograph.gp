# Hydrograph of one lake of the example: what reaches its outlet cell and what the lake lets
# out (m3/s, hourly means drawn at the middle of their hour), and its level above the crest at
# each hour's end (m, second axis).
# Variables: data (columns: hour, inflow, outflow, level), out, label.
set terminal pngcairo size 960,540 font "sans,11"
set output out
set title label
set xlabel "Hour since the start of the run"
set ylabel "Discharge (m^3/s)"
set y2label "Level above the crest (m)"
set xrange [0:*]
set yrange [0:*]
set y2range [0:*]
set ytics nomirror
set y2tics
set grid xtics ytics
set key top right
plot data using ($1 - 0.5):2 with lines lw 2 lc rgb "#1e8449" title "Inflow", \
     data using ($1 - 0.5):3 with lines lw 2 lc rgb "#c0392b" title "Outflow", \
     data using 1:4 axes x1y2 with lines lw 2 dt 2 lc rgb "#2471a3" title "Level"
