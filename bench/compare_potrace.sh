#!/usr/bin/env bash
# Ostrel side by side with potrace on the same seeded line drawing (PNG for Ostrel, PBM for potrace):
#   speed    median wall time of `Ostrel --vectorize` per algorithm and of `potrace -b svg`, and their ratio;
#   memory   peak resident set of every run (/usr/bin/time -v, "Maximum resident set size");
#   quality  symmetric distance (mean, 95th percentile, px) between the input's ink boundary and the
#            vision_contours lines (plotter SVG), and potrace's outlines, both rendered as 1 px lines
#            by rsvg-convert;
#            IoU of the default output's filled ribbons with the input's ink.
# Run from anywhere after `./dev build`. It reports and always exits 0 once it could run; missed
# targets are printed, not fatal.
#
# Environment: OSTREL_COMPARE_RUNS (5), OSTREL_COMPARE_SIZE (2400), OSTREL_COMPARE_SEED (1),
# OSTREL_COMPARE_KEEP=1 keeps the work folder, OSTREL_BUILD_DIR (build).
set -uo pipefail
export LC_ALL=C QT_QPA_PLATFORM=offscreen

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${OSTREL_BUILD_DIR:-$root/build}"
ostrel="$build_dir/src/app/Ostrel"
tool="$build_dir/bench/tools/ostrel-bench-tool"
runs="${OSTREL_COMPARE_RUNS:-5}"
size="${OSTREL_COMPARE_SIZE:-2400}"
seed="${OSTREL_COMPARE_SEED:-1}"
algorithms=(neural_centerline vision_contours skeletonize canny_edges)
time_bin=/usr/bin/time

for program in "$ostrel" "$tool"; do
  [ -x "$program" ] || { echo "compare_potrace: $program is missing; run ./dev build first" >&2; exit 1; }
done
for program in potrace rsvg-convert; do
  command -v "$program" >/dev/null || { echo "compare_potrace: $program is missing; run ./dev setup" >&2; exit 1; }
done
[ -x "$time_bin" ] || { echo "compare_potrace: $time_bin missing (package 'time'): peak memory not measured" >&2; time_bin=; }
case "$runs" in ''|*[!0-9]*|0) echo "compare_potrace: OSTREL_COMPARE_RUNS must be a positive integer" >&2; exit 1 ;; esac

work="$(mktemp -d /tmp/ostrel-compare.XXXXXX)"
if [ "${OSTREL_COMPARE_KEEP:-0}" = 1 ]; then
  echo "Work folder: $work"
else
  trap 'rm -rf "$work"' EXIT
fi

# Median of the numbers on standard input (mean of the middle two for an even count).
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Largest number on standard input.
maximum() { sort -g | tail -n 1; }

# run_timed NAME COMMAND...: runs COMMAND `runs` times; appends wall seconds to NAME.wall and peak
# kilobytes to NAME.rss in the work folder. Returns non-zero when any run failed.
run_timed() {
  local name="$1"; shift
  local i start end status=0
  : >"$work/$name.wall"; : >"$work/$name.rss"
  for ((i = 0; i < runs; i++)); do
    start=$(date +%s%N)
    if [ -n "$time_bin" ]; then
      "$time_bin" -v -o "$work/$name.time" "$@" >/dev/null 2>"$work/$name.err" || status=1
    else
      "$@" >/dev/null 2>"$work/$name.err" || status=1
    fi
    end=$(date +%s%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", (b - a) / 1e9 }' >>"$work/$name.wall"
    if [ -n "$time_bin" ]; then
      sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): *//p' "$work/$name.time" >>"$work/$name.rss"
    fi
  done
  return $status
}

# render_lines SVG PNG STROKE: renders SVG at the drawing's pixel size with every path unfilled and
# stroked in black, STROKE user units wide (a style sheet overrides the presentation attributes).
render_lines() {
  sed "s#</svg>#<style>path{fill:none!important;stroke:\#000!important;stroke-width:$3px!important}</style></svg>#" \
    "$1" >"$1.lines.svg"
  rsvg-convert -w "$size" -h "$size" -b white "$1.lines.svg" -o "$2"
}

# value KEY TEXT: the value of KEY=value in TEXT.
value() { printf '%s\n' "$2" | tr ' ' '\n' | sed -n "s/^$1=//p"; }

echo "Drawing: ${size} x ${size} px, seed ${seed}; ${runs} runs each"
if ! "$tool" drawing --size "$size" --seed "$seed" --png "$work/drawing.png" --pbm "$work/drawing.pbm"; then
  echo "compare_potrace: the drawing could not be made" >&2
  exit 1
fi

# --- speed and memory --------------------------------------------------------------------------
declare -A wall rss failed
# measure NAME COMMAND...: median wall time and largest peak of NAME, or "failed" with its message.
measure() {
  local name="$1"; shift
  if run_timed "$name" "$@"; then
    wall[$name]=$(median <"$work/$name.wall")
    rss[$name]=$(maximum <"$work/$name.rss")
  else
    wall[$name]=failed rss[$name]=
    failed[$name]=$(tr '\n' ' ' <"$work/$name.err" | head -c 160)
  fi
}
measure potrace potrace -b svg "$work/drawing.pbm" -o "$work/potrace.svg"
for a in "${algorithms[@]}"; do
  measure "$a" "$ostrel" --vectorize "$work/drawing.png" --algorithm "$a" -o "$work/$a.svg"
done

# --- quality -------------------------------------------------------------------------------------
contours="n/a" ribbon_lines="n/a" potrace_lines="n/a" iou="n/a" potrace_iou="n/a"
# The contour strokes themselves: the plotter SVG of the same engine (the command line always writes
# illustration mode, where each stroke is a filled ribbon around its line).
if "$tool" plotter-svg --input "$work/drawing.png" --algorithm vision_contours -o "$work/contours.svg" &&
   render_lines "$work/contours.svg" "$work/contours-lines.png" 1; then
  contours=$("$tool" boundary-distance --input "$work/drawing.png" --lines "$work/contours-lines.png" 2>&1)
fi
# For information: the command line's own output, whose ribbon outlines lie on both sides of each line.
if "$ostrel" --vectorize "$work/drawing.png" --algorithm vision_contours --paper original \
     -o "$work/contours-cli.svg" 2>"$work/contours-cli.err" &&
   render_lines "$work/contours-cli.svg" "$work/contours-cli-lines.png" 1; then
  ribbon_lines=$("$tool" boundary-distance --input "$work/drawing.png" --lines "$work/contours-cli-lines.png" 2>&1)
fi
# potrace draws in a group scaled by "scale(s,-s)": a 1 px line is 1/s of its units wide.
scale=$(sed -n 's/.*scale(\([0-9.]*\),.*/\1/p' "$work/potrace.svg" | head -n 1)
stroke=$(awk -v s="${scale:-0.1}" 'BEGIN { if (s + 0 > 0) printf "%.4f", 1 / s; else print 10 }')
if render_lines "$work/potrace.svg" "$work/potrace-lines.png" "$stroke"; then
  potrace_lines=$("$tool" boundary-distance --input "$work/drawing.png" --lines "$work/potrace-lines.png" 2>&1)
fi
if "$ostrel" --vectorize "$work/drawing.png" --paper original -o "$work/ribbons.svg" 2>"$work/ribbons.err" &&
   rsvg-convert -w "$size" -h "$size" -b white "$work/ribbons.svg" -o "$work/ribbons.png"; then
  iou=$("$tool" iou --input "$work/drawing.png" --rendered "$work/ribbons.png" 2>&1)
fi
if rsvg-convert -w "$size" -h "$size" -b white "$work/potrace.svg" -o "$work/potrace-filled.png"; then
  potrace_iou=$("$tool" iou --input "$work/drawing.png" --rendered "$work/potrace-filled.png" 2>&1)
fi

# --- report --------------------------------------------------------------------------------------
mib() { awk -v k="${1:-}" 'BEGIN { if (k == "") print "n/a"; else printf "%.1f", k / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a ~ /^[0-9.]+$/ && b ~ /^[0-9.]+$/ && b + 0 > 0) printf "%.2f", a / b; else print "n/a" }'; }

echo
echo "Speed and memory (median wall time of ${runs} runs, largest peak resident set)"
printf '  %-26s %10s %10s %10s\n' "program" "wall s" "x potrace" "peak MiB"
printf '  %-26s %10s %10s %10s%s\n' "potrace -b svg" "${wall[potrace]}" "1.00" "$(mib "${rss[potrace]}")" \
  "${failed[potrace]:+  ${failed[potrace]}}"
for a in "${algorithms[@]}"; do
  printf '  %-26s %10s %10s %10s%s\n' "Ostrel $a" "${wall[$a]}" "$(ratio "${wall[$a]}" "${wall[potrace]}")" \
    "$(mib "${rss[$a]}")" "${failed[$a]:+  ${failed[$a]}}"
done

echo
echo "Quality (--paper original, image pixels)"
printf '  %-46s %s\n' "vision_contours lines to ink boundary" "$contours"
printf '  %-46s %s\n' "potrace outlines to ink boundary" "$potrace_lines"
printf '  %-46s %s\n' "(vision_contours CLI ribbon outlines, info)" "$ribbon_lines"
printf '  %-46s %s\n' "default ribbons, IoU with input ink" "$iou"
printf '  %-46s %s\n' "potrace fill, IoU with input ink" "$potrace_iou"

# Targets: neural_centerline ≤ 1.0 × potrace; contour distance ≤ potrace's; peak memory ≤ 300 MB.
verdict() { if [ "$1" = 1 ]; then echo "met"; elif [ "$1" = 0 ]; then echo "MISSED $2"; else echo "not measured"; fi; }
speed_ratio=$(ratio "${wall[neural_centerline]}" "${wall[potrace]}")
speed_ok=$(awk -v r="$speed_ratio" 'BEGIN { if (r == "n/a") print "?"; else print (r + 0 <= 1.0) ? 1 : 0 }')
ours_mean=$(value mean_px "$contours"); theirs_mean=$(value mean_px "$potrace_lines")
ours_p95=$(value p95_px "$contours"); theirs_p95=$(value p95_px "$potrace_lines")
quality_ok=$(awk -v a="$ours_mean" -v b="$theirs_mean" -v c="$ours_p95" -v d="$theirs_p95" \
  'BEGIN { if (a == "" || b == "") print "?"; else print (a + 0 <= b + 0 && c + 0 <= d + 0) ? 1 : 0 }')
peak=$(for a in "${algorithms[@]}"; do echo "${rss[$a]:-}"; done | grep . | maximum)
memory_ok=$(awk -v k="${peak:-}" 'BEGIN { if (k == "") print "?"; else print (k / 1024 <= 300) ? 1 : 0 }')

echo
echo "Targets"
printf '  %-52s %s\n' "neural_centerline wall time <= 1.0 x potrace (${speed_ratio} x)" \
  "$(verdict "$speed_ok" "by $(awk -v r="$speed_ratio" 'BEGIN { printf "%.0f%%", (r - 1) * 100 }')")"
printf '  %-52s %s\n' "vision_contours distance <= potrace (mean, p95)" \
  "$(verdict "$quality_ok" "(${ours_mean:-?}/${ours_p95:-?} px vs ${theirs_mean:-?}/${theirs_p95:-?} px)")"
printf '  %-52s %s\n' "Ostrel peak memory <= 300 MB ($(mib "${peak:-}") MiB)" "$(verdict "$memory_ok" "")"
exit 0
