#!/usr/bin/env bash
# Opens a folder of photo-sized JPEGs (4000 x 3000, quality 90) at the start
# of the whole program (offscreen, in a Release build), with the setting that
# reopens the last folder on: first with an empty thumbnail cache, then with
# the cache that the first start filled, the two taking turns pair by pair.
# Prints, for each start, how long after
# the process began the last thumbnail showed and when the cache had written
# its entries, the peak memory, and the ratio of the two starts (goal: at
# least 10x).
#
#   bench/thumbnail_program.sh [PHOTO_FOLDER]
#
# COUNT sets the number of pictures (288); RUNS the number of paired starts
# (3), each pair with fresh settings and a fresh cache; LARGE=1 makes large
# thumbnails. The pictures are made once and kept in PHOTO_FOLDER.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
count=${COUNT:-288}
runs=${RUNS:-3}
photos=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/lumaset-bench/photos$count}

. "$root/bench/bench_build.sh"
need time
build_bench bench_thumbnails bench_thumbnails_program

mkdir -p "$photos"
"$build/bin/bench_thumbnails" "$photos" --count "$count" --generate-only
pictures=$(find "$photos" -maxdepth 1 -type f | wc -l)
[ "$pictures" -eq "$count" ] || { echo "$photos holds $pictures files, not $count" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One start with the private home $1: "<shown ms> <whole ms> <peak MB>".
start_program() {
  /usr/bin/time -f 'peak %M' env -i PATH="$PATH" HOME="$1" XDG_CONFIG_HOME="$1/config" \
    XDG_CACHE_HOME="$1/cache" XDG_DATA_HOME="$1/data" XDG_RUNTIME_DIR="$1/run" QT_QPA_PLATFORM=offscreen \
    "$build/bin/bench_thumbnails_program" "$photos" ${LARGE:+--large} 2>&1 |
    awk -v n="$count" '/thumbnails shown/ { made = $1; shown = $4; whole = $11; began = $17 } /^peak / { kb = $2 }
         END { if (made != n) { shown = shown "!"; whole = whole "!" }
               printf "%s %s %.1f %s\n", shown, whole, kb / 1024, began }'
}

echo "cores: $(nproc); load: $(cut -d' ' -f1-3 /proc/loadavg); $count photos of 4000 x 3000 in $photos"
echo "ms after the process began: last thumbnail shown / cache entries written; peak resident memory in MB;"
echo "start-up: ms until the build began (the same work with or without a cache)"
printf '%4s  %22s  %22s  %12s  %16s\n' run "empty cache (ms, MB)" "cached (ms, MB)" empty/cached "start-up (ms)"
for run in $(seq "$runs"); do
  home=$work/home-$run
  mkdir -p "$home/run" && chmod 700 "$home/run"
  read -r first_shown first_whole first_mb first_began < <(start_program "$home")
  read -r cached_shown cached_whole cached_mb cached_began < <(start_program "$home")
  ratio=$(awk -v a="${first_shown%!}" -v b="${cached_shown%!}" 'BEGIN { printf "%.1fx", a / (b > 0 ? b : 1) }')
  printf '%4d  %13s %8s  %13s %8s  %12s  %7s %8s\n' "$run" "$first_shown/$first_whole" "$first_mb" \
    "$cached_shown/$cached_whole" "$cached_mb" "$ratio" "$first_began" "$cached_began"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
