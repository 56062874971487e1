# Hydrograph of run-example.sh without and with rainfall losses: outlet discharge under the
# conservative scheme with all the rain running off and with SCS curve-number losses, with the
# basin-mean rainfall as bars hanging from the top on a second, inverted axis. Hourly means,
# drawn at the middle of their hour; each curve's title gives the basin's runoff coefficient
# (outflow / rain over the run).
# Variables: data (columns: hour, rainfall mm/h, discharge m3/s without losses, the same with
# losses), out, label, maxRain, without and with (the runoff coefficients).
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
     data using ($1 - 0.5):3 with lines lw 2 lc rgb "#1e8449" \
       title sprintf("No losses (runoff coefficient %.2f)", without), \
     data using ($1 - 0.5):4 with lines lw 2 lc rgb "#8e44ad" \
       title sprintf("SCS curve number 75 (runoff coefficient %.2f)", with)
