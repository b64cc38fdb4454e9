#!/usr/bin/env bash
# Opens folders of 1,000, 5,000 and 20,000 small photos (640 x 480 JPEGs,
# quality 90) in a Release build, each three ways, one process per opening:
# the first opening (empty thumbnail cache), the cached opening (the cache
# that the first one filled) and no cache at all; prints the median time and
# the largest peak memory of each. The three take turns: RUNS rounds (3) per
# folder, each with a fresh cache, the opening without a cache first in odd
# rounds and last in even ones, so that none always runs right after the
# folder's links are made.
#
# Small JPEGs get no cache entry (they decode about as fast as an entry is
# read): when the first opening made none, the cached column says so instead
# of timing a second decoding.
#
#   bench/thumbnail_folders.sh [PHOTO_FOLDER]
#
# Needs: time (/usr/bin/time) and what the build needs. COUNTS sets the
# folder sizes ("1000 5000 20000"); SMALL=1 makes small thumbnails (50 pixels)
# instead of large ones (100 pixels). The pictures are made once into
# PHOTO_FOLDER/all (about 1.2 GB for 20,000); each folder size holds hard
# links to the first of them by number (photo-000 up to the folder's size),
# and is checked to hold exactly those before it is timed. Each opening
# reports the panel's time and the whole run's (until the cache has written
# its entries); a time marked "!" is an opening that left a picture without
# its thumbnail or found another number of pictures than its row says.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
counts=${COUNTS:-1000 5000 20000}
runs=${RUNS:-3}
photos=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/lumaset-bench/photos640}

. "$root/bench/bench_build.sh"
need time
build_bench bench_thumbnails
bench=$build/bin/bench_thumbnails

largest=$(printf '%s\n' $counts | sort -n | tail -1)
mkdir -p "$photos/all"
"$bench" "$photos/all" --count "$largest" --size 640x480 --generate-only

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The name of photo number $1 as the bench makes it.
photo_name() { printf 'photo-%03d.jpg' "$1"; }

# Makes $1 hold hard links to exactly the first $2 photos, by number.
link_photos() {
  local folder=$1 count=$2
  rm -rf "$folder"
  mkdir -p "$folder"
  awk -v all="$photos/all" -v n="$count" 'BEGIN { for (i = 0; i < n; ++i) printf "%s/photo-%03d.jpg\n", all, i }' |
    xargs -r -d '\n' ln -t "$folder"
}

# Whether $1 holds exactly photos 0 to $2 - 1.
holds_photos() {
  local folder=$1 count=$2
  [ "$(find "$folder" -maxdepth 1 -type f 2>/dev/null | wc -l)" -eq "$count" ] &&
    [ -f "$folder/$(photo_name 0)" ] && [ -f "$folder/$(photo_name $((count - 1)))" ]
}

# One opening as its own process: "<panel ms> <whole ms> <peak MB> <cache entries>",
# the times marked "!" when the run was not complete.
open_folder() {
  /usr/bin/time -f 'peak %M' env QT_QPA_PLATFORM=offscreen "$bench" "$@" --size 640x480 ${SMALL:+--small} 2>&1 |
    awk '/thumbnails in/ { ms = $4; whole = $8; if (match($0, /[0-9]+ cache entries/)) entries = substr($0, RSTART, RLENGTH) + 0 }
         /non-zero status/ { ms = ms "!"; whole = whole "!" }
         /^peak / { kb = $2 } END { printf "%s %s %.1f %d\n", ms, whole, kb / 1024, entries }'
}

# The median of the numbers on standard input ("!" kept when any had one), and their largest.
median() { sort -n | awk '{ v[NR] = $1 + 0; if ($1 ~ /!/) bad = "!"; if ($1 + 0 > m) m = $1 + 0 }
                          END { printf "%s%s\n", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2, bad }'; }
largest() { sort -n | tail -1; }

side=100
[ -n "${SMALL:-}" ] && side=50
echo "cores: $(nproc); load: $(cut -d' ' -f1-3 /proc/loadavg); 640 x 480 JPEGs, $side-pixel thumbnails"
echo "median of $runs rounds taking turns; times in ms: the panel / the whole run; largest peak resident memory in MB"
printf '%8s  %24s  %30s  %24s  %8s\n' pictures "first (ms, MB)" "cached (ms, MB)" "no cache (ms, MB)" first/cached
for count in $counts; do
  folder=$photos/$count
  holds_photos "$folder" "$count" || link_photos "$folder" "$count"
  holds_photos "$folder" "$count" || { echo "$folder does not hold photos 0 to $((count - 1))" >&2; exit 1; }
  : >"$work/first"; : >"$work/cached"; : >"$work/plain"
  entries=0
  for round in $(seq "$runs"); do
    rm -rf "$work/cache"
    if [ $((round % 2)) -eq 1 ]; then open_folder "$folder" --count "$count" >>"$work/plain"; fi
    open_folder "$folder" --count "$count" --cache "$work/cache" >>"$work/first"
    entries=$(tail -1 "$work/first" | cut -d' ' -f4)
    if [ "$entries" -gt 0 ]; then open_folder "$folder" --count "$count" --cache "$work/cache" >>"$work/cached"; fi
    if [ $((round % 2)) -eq 0 ]; then open_folder "$folder" --count "$count" >>"$work/plain"; fi
  done
  row=()
  for kind in first cached plain; do
    if [ ! -s "$work/$kind" ]; then
      row+=("none made: decoded each time" "")
      continue
    fi
    row+=("$(cut -d' ' -f1 "$work/$kind" | median)/$(cut -d' ' -f2 "$work/$kind" | median)"
          "$(cut -d' ' -f3 "$work/$kind" | largest)")
  done
  ratio=-
  if [ -s "$work/cached" ]; then
    ratio=$(awk -v a="$(cut -d' ' -f1 "$work/first" | median)" -v b="$(cut -d' ' -f1 "$work/cached" | median)" \
      'BEGIN { a += 0; b += 0; printf "%.1fx", a / (b > 0 ? b : 1) }')
  fi
  printf '%8d  %15s %8s  %21s %8s  %15s %8s  %8s\n' "$count" "${row[@]}" "$ratio"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
