#!/usr/bin/env bash
# Peak memory and time of opening hostile image files: the files of tests/fuzz/hostile_files.py and
# the PDF documents of tests/fuzz/pdf_files.py --hostile (and any files given as arguments), each opened by `Ostrel --vectorize FILE` and by the window (started
# with the file on the offscreen platform, then stopped with SIGTERM after OSTREL_WINDOW_SECONDS).
# Prints one row per file and mode: peak resident set (/usr/bin/time -v), wall time, exit status.
# The target: every file peaks under 600 MB, or is refused.
#
# Environment: OSTREL_BUILD_DIR (build), OSTREL_WINDOW_SECONDS (12; 0 skips the window).
set -uo pipefail
export LC_ALL=C QT_QPA_PLATFORM=offscreen

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${OSTREL_BUILD_DIR:-$root/build}"
ostrel="$build_dir/src/app/Ostrel"
window_seconds="${OSTREL_WINDOW_SECONDS:-12}"
[ -x "$ostrel" ] || { echo "decode_memory: $ostrel is missing; run ./dev build first" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "decode_memory: /usr/bin/time is missing (package 'time')" >&2; exit 1; }

work="$(mktemp -d /tmp/ostrel-decode-memory.XXXXXX)"
trap 'rm -rf "$work"' EXIT
python3 "$root/tests/fuzz/hostile_files.py" "$work/files" >/dev/null
python3 "$root/tests/fuzz/pdf_files.py" "$work/files" --hostile >/dev/null
files=("$work"/files/* "$@")

# Settings and the release feed stay on this machine.
export XDG_CONFIG_HOME="$work/config" KAVRIN_UPDATE_URL="http://127.0.0.1:9/feed.json"

measure() {  # MODE FILE COMMAND...
  local mode="$1" file="$2"; shift 2
  /usr/bin/time -v -o "$work/time" "$@" >/dev/null 2>"$work/stderr"
  local status=$?
  local peak elapsed
  peak="$(awk -F': ' '/Maximum resident set size/ {print int($2 / 1024)}' "$work/time")"
  elapsed="$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time")"
  printf '%-28s %-7s %6s MB %10s  exit %s\n' "$(basename "$file")" "$mode" "${peak:-?}" "${elapsed:-?}" "$status"
}

printf '%-28s %-7s %9s %10s\n' file mode peak time
for file in "${files[@]}"; do
  measure cli "$file" "$ostrel" --vectorize "$file" -o "$work/out.svg"
  if [ "$window_seconds" != 0 ]; then
    measure window "$file" timeout -s TERM -k 5 "$window_seconds" "$ostrel" "$file"
  fi
done
