#!/usr/bin/env bash
# Opens folders of 1,000, 5,000 and 20,000 small photos (640 x 480 JPEGs,
# quality 90) in a Release build, each three ways, one process per opening:
# the first opening (empty thumbnail cache), the cached opening (the cache
# that the first one filled) and no cache at all; prints the time and the peak
# memory of each.
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

# One opening as its own process: "<panel ms> <whole ms> <peak MB>", the
# times marked "!" when the run was not complete.
open_folder() {
  /usr/bin/time -f 'peak %M' env QT_QPA_PLATFORM=offscreen "$bench" "$@" --size 640x480 ${SMALL:+--small} 2>&1 |
    awk '/thumbnails in/ { ms = $4; whole = $8 } /non-zero status/ { ms = ms "!"; whole = whole "!" }
         /^peak / { kb = $2 } END { printf "%s %s %.1f\n", ms, whole, kb / 1024 }'
}

side=100
[ -n "${SMALL:-}" ] && side=50
echo "cores: $(nproc); load: $(cut -d' ' -f1-3 /proc/loadavg); 640 x 480 JPEGs, $side-pixel thumbnails"
echo "times in ms: the panel / the whole run; peak resident memory in MB"
printf '%8s  %24s  %24s  %24s  %8s\n' pictures "first (ms, MB)" "cached (ms, MB)" "no cache (ms, MB)" first/cached
for count in $counts; do
  folder=$photos/$count
  holds_photos "$folder" "$count" || link_photos "$folder" "$count"
  holds_photos "$folder" "$count" || { echo "$folder does not hold photos 0 to $((count - 1))" >&2; exit 1; }
  rm -rf "$work/cache"
  read -r first_ms first_whole first_mb < <(open_folder "$folder" --count "$count" --cache "$work/cache")
  read -r cached_ms cached_whole cached_mb < <(open_folder "$folder" --count "$count" --cache "$work/cache")
  read -r plain_ms plain_whole plain_mb < <(open_folder "$folder" --count "$count")
  ratio=$(awk -v a="${first_ms%!}" -v b="${cached_ms%!}" 'BEGIN { printf "%.1fx", a / (b > 0 ? b : 1) }')
  printf '%8d  %15s %8s  %15s %8s  %15s %8s  %8s\n' "$count" "$first_ms/$first_whole" "$first_mb" \
    "$cached_ms/$cached_whole" "$cached_mb" "$plain_ms/$plain_whole" "$plain_mb" "$ratio"
done
