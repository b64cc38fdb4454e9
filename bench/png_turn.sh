#!/usr/bin/env bash
# Rotate Clockwise on a 6000 x 4000 RGBA PNG (a photo-like picture with a
# soft edge of transparency), against `vips rot` turning the same file into a
# PNG, in a Release build; time and peak memory of each, run by run in turn,
# and the ratio of the medians. The goal: no slower than vips.
#
#   bench/png_turn.sh [FOLDER]
#
# RUNS sets the number of runs (5); WIDTH and HEIGHT the picture's size.
# Needs vips (package libvips-tools) and /usr/bin/time (package time).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
runs=${RUNS:-5}
width=${WIDTH:-6000}
height=${HEIGHT:-4000}
folder=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/lumaset-bench/png-turn}

. "$root/bench/bench_build.sh"
need time vips
build_bench bench_png_turn
bench=$build/bin/bench_png_turn

mkdir -p "$folder"
photo=$folder/photo-${width}x${height}.png
[ -f "$photo" ] || "$bench" --make "$photo" "$width" "$height"
echo "cores: $(nproc); load: $(cut -d' ' -f1-3 /proc/loadavg); $photo: $(stat -c %s "$photo") bytes"

ours=() theirs=()
seconds() { sed -n 's/^took \([0-9.]*\) s.*/\1/p' "$1"; }
for run in $(seq "$runs"); do
  /usr/bin/time -o "$folder/time" -f "took %e s, peak %M KB" "$bench" "$photo" "$folder/ours.png" >"$folder/out"
  ours+=("$(seconds "$folder/time")")
  echo "run $run lumaset: $(cat "$folder/time"); $(cat "$folder/out")"
  /usr/bin/time -o "$folder/time" -f "took %e s, peak %M KB" vips rot "$photo" "$folder/vips.png" d90
  theirs+=("$(seconds "$folder/time")")
  echo "run $run vips rot: $(cat "$folder/time"); $(stat -c %s "$folder/vips.png") bytes"
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
m_ours=$(median "${ours[@]}") m_theirs=$(median "${theirs[@]}")
echo "median: lumaset $m_ours s, vips rot $m_theirs s; ratio $(awk -v a="$m_ours" -v b="$m_theirs" 'BEGIN { printf "%.2f", a / b }')"
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
