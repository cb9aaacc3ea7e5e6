#!/usr/bin/env bash
# Reads a picture of the Stereolux window with its meter horizontal (as tools/demo.sh saves it)
# and prints, for each bar from the top, the share of its LEDs that are lit, from 0.00 to 1.00:
#   tools/lit_leds.sh SHOT.png     e.g. "0.50 0.81"
# The LEDs are told apart by their colours: lime, yellow and red when lit, the same colours at
# half brightness when dark. A bar is a run of rows that are mostly LEDs, which the trim
# sliders (lime too, but short) never are. Exits with 1 when the picture shows no meter.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 SHOT.png" >&2; exit 2; }

convert "$1" -depth 8 txt:- | awk '
  # Lines look like "12,34: (0,255,0)  #00FF00  lime"; the first is a header.
  NR == 1 { next }
  {
    split($1, xy, /[,:]/)
    x = xy[1] + 0; y = xy[2] + 0
    colour = substr($3, 2, 6)
    if (x + 1 > width) width = x + 1
    if (y + 1 > height) height = y + 1
    if (colour == "00FF00" || colour == "FFFF00" || colour == "FF0000") { lit[y]++; led[y]++ }
    else if (colour == "007F00" || colour == "7F7F00" || colour == "7F0000") led[y]++
  }
  END {
    bars = 0; inbar = 0
    for (y = 0; y < height; y++) {
      if (led[y] * 2 >= width) {
        if (!inbar) { bars++; first[bars] = y }
        last[bars] = y; inbar = 1
      } else inbar = 0
    }
    if (bars == 0) { print "no meter in the picture" > "/dev/stderr"; exit 1 }
    line = ""
    for (b = 1; b <= bars; b++) {
      # The middle row of the bar, clear of any edge that the screenshot may blur.
      y = int((first[b] + last[b]) / 2)
      line = line (b > 1 ? " " : "") sprintf("%.2f", lit[y] / led[y])
    }
    print line
  }'
