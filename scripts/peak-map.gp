# Discharge map of one hour for run-example.sh: discharge-map's own image of that hour (a binary
# PPM, north up, every cell a block of pixels) placed on longitude and latitude, with a title,
# a colour bar in m3/s, a scale bar and the cell size.
# The cells are square in arc-seconds, so a cell is narrower east-west than north-south on the
# ground; the map is drawn at the ground's proportions (one kilometre is as long across as up)
# for the latitude of its centre, which is what lets one scale bar serve both directions.
# discharge-map colours a discharge q by s = sqrt((q - qmin) / (qmax - qmin)), taking colour
# index trunc(255 s) on a ramp of blue, cyan, green, yellow and red with components up to 252;
# the colour bar runs over s with the same ramp and is labelled in discharge.
# Variables: image, skip (bytes of the PPM header), width, height (pixels), out, label (title),
# cols, rows, scale (arc-seconds per cell), swLon, swLat (outer south-west corner, degrees),
# qmin, qmax (the colour range, m3/s), and optionally gaugeCol, gaugeRow (a cell to mark,
# counted from 1 at the west and the south) with gaugeText.
set terminal pngcairo size 840,760 font "sans,11"
set output out
set encoding utf8

degrees = scale / 3600.0
lonSpan = cols * degrees
latSpan = rows * degrees
midLat = swLat + latSpan / 2
# Metres per arc-second north-south, as the model measures its cells; east-west times the
# cosine of the latitude.
metresPerSecond = 92.6886 / 3
cellNorthSouth = metresPerSecond * scale
cellEastWest = cellNorthSouth * cos(midLat * pi / 180)

set title label font "sans,14"
set xrange [swLon : swLon + lonSpan]
set yrange [swLat : swLat + latSpan]
set size ratio (rows * cellNorthSouth) / (cols * cellEastWest)
set xlabel "Longitude (°, WGS 84)"
set ylabel "Latitude (°, WGS 84)"
set format x "%.2f"
set format y "%.2f"
set xtics out nomirror
set ytics out nomirror
set border 3 lw 1
set rmargin 14

# The ramp of discharge-map, as a palette over s in [0, 1].
ramp(i, a, b, c, d, e) = i < 64 ? a : i < 128 ? b : i < 192 ? c : i < 256 ? d : e
rampIndex(g) = g >= 1 ? 255 : int(g * 255)
red(g) = ramp(rampIndex(g), 0, 0, 4 * rampIndex(g) - 512, 252, 252) / 255.0
green(g) = ramp(rampIndex(g), 4 * rampIndex(g), 252, 252, 1020 - 4 * rampIndex(g), 252) / 255.0
blue(g) = ramp(rampIndex(g), 252, 508 - 4 * rampIndex(g), 0, 0, 0) / 255.0
set palette model RGB functions red(gray), green(gray), blue(gray)
set palette maxcolors 256
set cbrange [0:1]
set colorbox vertical user origin graph 1.04, graph 0 size graph 0.05, graph 1
set cblabel "Discharge (m^3/s), square-root scale; black: no discharge" offset 1.5, 0

# Colour bar labels: the two ends of the range, and round values of 1, 2 and 5 times a power of
# ten between them, as many as fit without crowding.
s(q) = sqrt((q - qmin) / (qmax - qmin))
set cbtics out nomirror (sprintf("%.3g", qmin) 0, sprintf("%.5g", qmax) 1)
last = 0
top = floor(log10(qmax))
do for [k = top - 4 : top] {
  do for [m in "1 2 5"] {
    q = m * 10.0 ** k
    if (q > qmin && q < qmax && s(q) - last >= 0.07 && 1 - s(q) >= 0.07) {
      set cbtics add (sprintf("%g", q) s(q))
      last = s(q)
    }
  }
}

# Scale bar and cell size: a round length near a quarter of the map's width, in the lower left
# corner on a white ground.
widthKm = cols * cellEastWest / 1000
bar = 10.0 ** floor(log10(widthKm / 4))
bar = widthKm / 4 >= 5 * bar ? 5 * bar : widthKm / 4 >= 2 * bar ? 2 * bar : bar
barDegrees = bar * 1000 / cellEastWest * degrees
x0 = swLon + 0.04 * lonSpan
y0 = swLat + 0.1 * latSpan
set object 1 rect from x0 - 0.02 * lonSpan, y0 - 0.085 * latSpan \
  to x0 + 0.02 * lonSpan + (barDegrees > 0.3 * lonSpan ? barDegrees : 0.3 * lonSpan), \
  y0 + 0.075 * latSpan fc rgb "white" fs solid 0.85 noborder front
set arrow 1 from x0, y0 to x0 + barDegrees, y0 heads size screen 0.008, 90 lw 2 lc rgb "black" \
  front
set label 1 (bar >= 1 ? sprintf("%g km", bar) : sprintf("%g m", bar * 1000)) \
  at x0 + barDegrees / 2, y0 + 0.035 * latSpan center front
set label 2 sprintf("cell %g″: %.0f m × %.0f m", scale, cellEastWest, cellNorthSouth) \
  at x0, y0 - 0.045 * latSpan left front font "sans,10"

marked = exists("gaugeCol") && exists("gaugeRow")
gaugeLon = marked ? swLon + (gaugeCol - 0.5) * degrees : NaN
gaugeLat = marked ? swLat + (gaugeRow - 0.5) * degrees : NaN
if (marked) {
  set label 3 gaugeText at gaugeLon, gaugeLat right offset -1.2, 0.3 front tc rgb "white" \
    font "sans,11"
}

pixel = lonSpan / width
plot image binary array=(width, height) skip=skip format="%uchar%uchar%uchar" flipy \
       dx=pixel dy=latSpan / height origin=(swLon + pixel / 2, swLat + latSpan / height / 2) \
       using 1:2:3 with rgbimage notitle, \
     "+" using (gaugeLon):(gaugeLat) every ::0::0 with points pt 6 ps 2.2 lw 2 \
       lc rgb "white" notitle, \
     "+" using (NaN):(NaN):(0) every ::0::0 with points lc palette notitle
