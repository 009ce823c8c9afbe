#!/usr/bin/env bash
# Ostrel side by side with potrace (PNG for Ostrel, PBM for potrace):
#   speed    every case below run once per round, the rounds interleaved so that a change in the
#            machine's load meets both programs alike; median wall and CPU (user + system) time of each
#            and their ratios. Cases: the seeded line drawing (8-bit grey PNG, with all four algorithms,
#            and as a 1-bit PNG), the same drawing at 8000 px, lettering 2400 x 1100, two built-in
#            drawings at clip-art sizes (459 x 477, 1052 x 744), a 2 x 2 image and `--version` (the
#            last three measure the program's start as much as its work);
#   memory   peak resident set of each case (/usr/bin/time -v, "Maximum resident set size"), from a
#            run of its own;
#   quality  symmetric distance (mean, 95th percentile, px) between the input's ink boundary and the
#            vision_contours lines (plotter SVG), and potrace's outlines, both rendered as 1 px lines
#            by rsvg-convert;
#            IoU of the default output's filled ribbons with the input's ink.
# Run from anywhere after `./dev build`. It reports and always exits 0 once it could run; missed
# targets are printed, not fatal.
#
# Environment: OSTREL_COMPARE_RUNS (rounds, 5), OSTREL_COMPARE_SIZE (2400), OSTREL_COMPARE_SEED (1),
# OSTREL_COMPARE_LARGE (8000; 0 leaves the large drawing out), OSTREL_COMPARE_KEEP=1 keeps the work
# folder, OSTREL_BUILD_DIR (build).
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
large="${OSTREL_COMPARE_LARGE:-8000}"
case "$large" in ''|*[!0-9]*) echo "compare_potrace: OSTREL_COMPARE_LARGE must be a size in pixels or 0" >&2; exit 1 ;; esac

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

# render_lines SVG PNG STROKE: renders SVG at the drawing's pixel size with every path unfilled and
# stroked in black, STROKE user units wide (a style sheet overrides the presentation attributes).
render_lines() {
  sed "s#</svg>#<style>path{fill:none!important;stroke:\#000!important;stroke-width:$3px!important}</style></svg>#" \
    "$1" >"$1.lines.svg"
  rsvg-convert -w "$size" -h "$size" -b white "$1.lines.svg" -o "$2"
}

# value KEY TEXT: the value of KEY=value in TEXT.
value() { printf '%s\n' "$2" | tr ' ' '\n' | sed -n "s/^$1=//p"; }

echo "Drawing: ${size} x ${size} px, seed ${seed}; ${runs} interleaved rounds"
if ! "$tool" drawing --size "$size" --seed "$seed" --png "$work/drawing.png" --png1 "$work/drawing-1bit.png" \
     --pbm "$work/drawing.pbm"; then
  echo "compare_potrace: the drawing could not be made" >&2
  exit 1
fi
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$work}"
make_input() { "$tool" "$@" || echo "compare_potrace: could not make the input ($*)" >&2; }
make_input lettering --width 2400 --height 1100 --png "$work/lettering.png" --pbm "$work/lettering.pbm"
make_input preset --name portrait --width 459 --height 477 --png "$work/clip-small.png" --pbm "$work/clip-small.pbm"
make_input preset --name stage --width 1052 --height 744 --png "$work/clip-large.png" --pbm "$work/clip-large.pbm"
make_input preset --name rosette --width 2 --height 2 --png "$work/tiny.png" --pbm "$work/tiny.pbm"
if [ "$large" -gt 0 ]; then
  make_input drawing --size "$large" --seed "$seed" --png1 "$work/large.png" --pbm "$work/large.pbm"
fi

# --- speed and memory ----------------------------------------------------------------------------
# A case: its label, then potrace's input and Ostrel's arguments. "version" compares the version queries.
cases=()
declare -A label potrace_input ostrel_args
add_case() {  # add_case KEY LABEL PBM OSTREL-ARGUMENTS...
  local key="$1" text="$2" pbm="$3"; shift 3
  [ "$pbm" = version ] || [ -s "$pbm" ] || return 0
  cases+=("$key"); label[$key]="$text"; potrace_input[$key]="$pbm"; ostrel_args[$key]="$*"
}
for a in "${algorithms[@]}"; do
  add_case "$a" "drawing ${size}², $a" "$work/drawing.pbm" --vectorize "$work/drawing.png" --algorithm "$a"
done
add_case drawing1 "drawing ${size}², 1-bit PNG" "$work/drawing.pbm" --vectorize "$work/drawing-1bit.png"
[ "$large" -gt 0 ] && add_case large "drawing ${large}², 1-bit PNG" "$work/large.pbm" --vectorize "$work/large.png"
add_case lettering "lettering 2400 x 1100" "$work/lettering.pbm" --vectorize "$work/lettering.png"
add_case clip_small "clip art 459 x 477" "$work/clip-small.pbm" --vectorize "$work/clip-small.png"
add_case clip_large "clip art 1052 x 744" "$work/clip-large.pbm" --vectorize "$work/clip-large.png"
add_case tiny "2 x 2 image" "$work/tiny.pbm" --vectorize "$work/tiny.png"
add_case version "--version" version --version

# set_command KEY WHO: `command` becomes KEY's potrace or Ostrel command line.
command=()
set_command() {
  local key="$1" who="$2"
  if [ "$who" = potrace ]; then
    if [ "${potrace_input[$key]}" = version ]; then command=(potrace --version)
    else command=(potrace -b svg "${potrace_input[$key]}" -o "$work/$key.potrace.svg"); fi
  else
    # shellcheck disable=SC2206
    command=("$ostrel" ${ostrel_args[$key]})
    [ "$key" = version ] || command+=(-o "$work/$key.ostrel.svg")
  fi
}
# run_case KEY WHO: one run of KEY's potrace or Ostrel command; appends "wall cpu" seconds to
# KEY.WHO.times, or records the failure. Bash's own timer: no extra process in the measured time.
declare -A failed
run_case() {
  local key="$1" who="$2" timing status=0
  set_command "$key" "$who"
  local TIMEFORMAT='%3R %3U %3S'
  timing=$({ time "${command[@]}" >/dev/null 2>"$work/$key.$who.err"; } 2>&1) || status=1
  if [ $status -ne 0 ]; then
    failed[$key.$who]=$(tr '\n' ' ' <"$work/$key.$who.err" | head -c 160)
    return
  fi
  echo "$timing" | awk '{ printf "%.4f %.4f\n", $1, $2 + $3 }' >>"$work/$key.$who.times"
}
# peak KEY WHO: the largest resident set of one separate run, in KiB.
declare -A rss
peak() {
  local key="$1" who="$2"
  [ -n "$time_bin" ] || return 0
  set_command "$key" "$who"
  "$time_bin" -v -o "$work/$key.$who.time" "${command[@]}" >/dev/null 2>&1 &&
    rss[$key.$who]=$(sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): *//p' "$work/$key.$who.time")
}

for key in "${cases[@]}"; do
  : >"$work/$key.potrace.times"; : >"$work/$key.ostrel.times"
  peak "$key" potrace; peak "$key" ostrel
done
for ((round = 0; round < runs; round++)); do
  for key in "${cases[@]}"; do
    # Alternate who goes first, so neither always runs on a cache the other warmed.
    if ((round % 2 == 0)); then run_case "$key" potrace; run_case "$key" ostrel
    else run_case "$key" ostrel; run_case "$key" potrace; fi
  done
done
declare -A wall cpu
for key in "${cases[@]}"; do
  for who in potrace ostrel; do
    wall[$key.$who]=$(awk '{ print $1 }' "$work/$key.$who.times" | median)
    cpu[$key.$who]=$(awk '{ print $2 }' "$work/$key.$who.times" | median)
  done
done
# The quality section below reads the default algorithm's figures under these names.
wall[potrace]=${wall[neural_centerline.potrace]}
wall[neural_centerline]=${wall[neural_centerline.ostrel]}

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
scale=$(sed -n 's/.*scale(\([0-9.]*\),.*/\1/p' "$work/neural_centerline.potrace.svg" | head -n 1)
stroke=$(awk -v s="${scale:-0.1}" 'BEGIN { if (s + 0 > 0) printf "%.4f", 1 / s; else print 10 }')
if render_lines "$work/neural_centerline.potrace.svg" "$work/potrace-lines.png" "$stroke"; then
  potrace_lines=$("$tool" boundary-distance --input "$work/drawing.png" --lines "$work/potrace-lines.png" 2>&1)
fi
if "$ostrel" --vectorize "$work/drawing.png" --paper original -o "$work/ribbons.svg" 2>"$work/ribbons.err" &&
   rsvg-convert -w "$size" -h "$size" -b white "$work/ribbons.svg" -o "$work/ribbons.png"; then
  iou=$("$tool" iou --input "$work/drawing.png" --rendered "$work/ribbons.png" 2>&1)
fi
if rsvg-convert -w "$size" -h "$size" -b white "$work/neural_centerline.potrace.svg" -o "$work/potrace-filled.png"; then
  potrace_iou=$("$tool" iou --input "$work/drawing.png" --rendered "$work/potrace-filled.png" 2>&1)
fi

# --- report --------------------------------------------------------------------------------------
mib() { awk -v k="${1:-}" 'BEGIN { if (k == "") print "n/a"; else printf "%.1f", k / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a ~ /^[0-9.]+$/ && b ~ /^[0-9.]+$/ && b + 0 > 0) printf "%.2f", a / b; else print "n/a" }'; }

echo
echo "Speed and memory (medians of ${runs} interleaved rounds; CPU = user + system; peak from a run of its own)"
printf '  %-30s %11s %11s %7s %7s %12s %12s\n' "input" "potrace s" "Ostrel s" "wall x" "CPU x" "potrace MiB" "Ostrel MiB"
for key in "${cases[@]}"; do
  note="${failed[$key.potrace]:+  potrace failed: ${failed[$key.potrace]}}${failed[$key.ostrel]:+  Ostrel failed: ${failed[$key.ostrel]}}"
  printf '  %-30s %11s %11s %7s %7s %12s %12s%s\n' "${label[$key]}" "${wall[$key.potrace]}" "${wall[$key.ostrel]}" \
    "$(ratio "${wall[$key.ostrel]}" "${wall[$key.potrace]}")" "$(ratio "${cpu[$key.ostrel]}" "${cpu[$key.potrace]}")" \
    "$(mib "${rss[$key.potrace]:-}")" "$(mib "${rss[$key.ostrel]:-}")" "$note"
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
peak=$(for a in "${algorithms[@]}"; do echo "${rss[$a.ostrel]:-}"; done | grep . | maximum)
memory_ok=$(awk -v k="${peak:-}" 'BEGIN { if (k == "") print "?"; else print (k / 1024 <= 300) ? 1 : 0 }')

echo
echo "Targets"
printf '  %-52s %s\n' "neural_centerline wall time <= 1.0 x potrace (${speed_ratio} x)" \
  "$(verdict "$speed_ok" "by $(awk -v r="$speed_ratio" 'BEGIN { printf "%.0f%%", (r - 1) * 100 }')")"
printf '  %-52s %s\n' "vision_contours distance <= potrace (mean, p95)" \
  "$(verdict "$quality_ok" "(${ours_mean:-?}/${ours_p95:-?} px vs ${theirs_mean:-?}/${theirs_p95:-?} px)")"
printf '  %-52s %s\n' "Ostrel peak memory <= 300 MB ($(mib "${peak:-}") MiB)" "$(verdict "$memory_ok" "")"
# Start-up counts in the small cases: clip art and lettering within 2.5 x potrace's wall time, start
# included; a 2 x 2 image within 8 ms.
for key in clip_small clip_large lettering; do
  [ -n "${label[$key]:-}" ] || continue
  r=$(ratio "${wall[$key.ostrel]}" "${wall[$key.potrace]}")
  ok=$(awk -v r="$r" 'BEGIN { if (r == "n/a") print "?"; else print (r + 0 <= 2.5) ? 1 : 0 }')
  printf '  %-52s %s\n' "${label[$key]} wall <= 2.5 x potrace (${r} x)" "$(verdict "$ok" "")"
done
if [ -n "${label[tiny]:-}" ]; then
  tiny_ms=$(awk -v s="${wall[tiny.ostrel]}" 'BEGIN { if (s ~ /^[0-9.]+$/) printf "%.1f", s * 1000; else print "n/a" }')
  ok=$(awk -v m="$tiny_ms" 'BEGIN { if (m == "n/a") print "?"; else print (m + 0 <= 8) ? 1 : 0 }')
  printf '  %-52s %s\n' "2 x 2 image wall <= 8 ms (${tiny_ms} ms)" "$(verdict "$ok" "")"
fi
exit 0
