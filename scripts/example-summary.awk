# Water budget and gauge of a finished run, for run-example.sh. Reads, in this order (each file
# preceded by its `part=` assignment on the awk command line):
#   part=params  param-ravo-event-ver300.dat
#   part=rivers  topoData/riverNumList.dat
#   part=basin   riverNum.bin, part=dir flowDir.bin, part=acc flowAcc.bin, as one integer per
#                line (od -td4), records from the south-west cell, rows south to north
#   part=map     temp/setROFCell.dat (the run's rain-cell mapping: topoRow from the north)
#   part=rain    input/rain.dat
#   part=flow    output/dischargeHourly.bin, one float per line (od -tf4)
# Writes the basin-mean rainfall of the largest listed basin, one "hour mm/h" line per hour, to
# the file in `rainOut`, and prints three lines for the shell:
#   gauge COLUMN ROW BASIN CELLS   the routed cell with the largest flow accumulation among those
#                                  draining into the largest basin's outlet (edge cells are not
#                                  routed), numbered from 1 at the west and the south
#   volumes RAIN OUTFLOW OUTLETS   m^3: rain on the routed cells of the listed basins, and the
#                                  discharge summed over time at the cells that drain off them
#   grid COLS ROWS DAYS TIMESTEP
# Cell areas follow the model: metres per arc-second 92.6886 / 3 north-south, times the cosine
# of the cell centre's latitude (taken with 3.14 for pi) east-west.
BEGIN { np = 0; nl = 0; pos = 0; tok = 0 }

part == "params" { for (f = 1; f <= NF; f++) p[++np] = $f; next }

part == "rivers" && NF >= 8 {
  listed[$1] = 1
  if (nl == 0 || $4 + 0 > bigCells) { big = $1; bigCells = $4 + 0; bigRow = $2; bigCol = $3 }
  nl++
  next
}

part == "basin" { basin[FNR - 1] = $1 + 0; next }
part == "dir" { dir[FNR - 1] = $1 + 0; next }
part == "acc" { acc[FNR - 1] = $1 + 0; next }

part == "map" && FNR == 1 { setup() }
part == "map" && FNR > 6 {
  i = (rows - 1 - $1) * cols + $2
  if (!(i in sel)) next
  rc = $3 * rainCols + $4
  areaOf[rc] += cellArea[i]
  if (basin[i] == big) bigAreaOf[rc] += cellArea[i]
  next
}

part == "rain" {
  for (f = 1; f <= NF; f++) {
    k = tok % recordLen
    hour = int(tok / recordLen)
    tok++
    if (k < 6 || hour >= hours) continue
    v = k - 6
    rc = (rainRows - 1 - int(v / rainCols)) * rainCols + v % rainCols
    if (rc in areaOf) rainVolume += areaOf[rc] * $f * 0.001
    if (rc in bigAreaOf) bigRain[hour] += bigAreaOf[rc] * $f
  }
  next
}

part == "flow" {
  cell = pos % cellCount
  if (cell in outlet) outflowVolume += $1 * secondsPerHour
  pos++
  next
}

END {
  for (h = 0; h < hours; h++) {
    printf "%d %.6g\n", h + 1, (bigArea > 0 ? bigRain[h] / bigArea : 0) > rainOut
  }
  printf "gauge %d %d %d %d\n", gauge % cols + 1, int(gauge / cols) + 1, big, bigCells
  printf "volumes %.0f %.0f %d\n", rainVolume, outflowVolume, outlets
  printf "grid %d %d %d %d\n", cols, rows, p[12], p[13]
}

# Called once all grids are in: selection, areas, outlets and the gauge.
function setup(   i, r, c, d, lat, widthX, mps, step, dr, dc, outletCell, bestAcc) {
  scale = p[1]; cols = p[2]; rows = p[3]; swLat = p[5]
  rainCols = p[6]; rainRows = p[7]; hours = p[12] * 24
  secondsPerHour = int(3600 / p[13]) * p[13]
  recordLen = 6 + rainCols * rainRows
  cellCount = rows * cols
  mps = 92.6886 / 3
  split("1 1 0 -1 -1 -1 0 1", dr, " ")
  split("0 1 1 1 0 -1 -1 -1", dc, " ")
  for (i = 0; i < cellCount; i++) {
    r = int(i / cols); c = i % cols
    if (r == 0 || c == 0 || r == rows - 1 || c == cols - 1 || !(basin[i] in listed)) continue
    sel[i] = 1
    lat = swLat + (r + 0.5) * scale / 3600
    widthX = mps * scale * cos(lat / 180 * 3.14)
    cellArea[i] = mps * scale * widthX
    if (basin[i] == big) bigArea += cellArea[i]
  }
  outletCell = bigRow * cols + bigCol
  bestAcc = -1
  gauge = outletCell
  for (i = 0; i < cellCount; i++) {
    if (!(i in sel)) continue
    d = dir[i]
    if (d < 1 || d > 8) { outlet[i] = 1; outlets++; continue }
    step = (int(i / cols) + dr[d]) * cols + i % cols + dc[d]
    if (step in sel) continue
    outlet[i] = 1
    outlets++
    if (step == outletCell && acc[i] > bestAcc) { bestAcc = acc[i]; gauge = i }
  }
}
