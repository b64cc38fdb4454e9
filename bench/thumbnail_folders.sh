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
# folder sizes ("1000 5000 20000"). The pictures are made once into
# PHOTO_FOLDER/all (about 1.2 GB for 20,000); each folder size holds hard
# links to the first of them.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
counts=${COUNTS:-1000 5000 20000}
photos=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/lumaset-bench/photos640}

for tool in cmake ninja; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
[ -x /usr/bin/time ] || { echo "missing: /usr/bin/time (package time)" >&2; exit 2; }

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER} >/dev/null
fi
ninja -C "$build" bench_thumbnails >/dev/null
bench=$build/bin/bench_thumbnails

largest=$(printf '%s\n' $counts | sort -n | tail -1)
mkdir -p "$photos/all"
"$bench" "$photos/all" --count "$largest" --size 640x480 --generate-only

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One opening as its own process: "<ms> <peak MB>", the time marked "!" when
# a picture was left without its thumbnail.
open_folder() {
  /usr/bin/time -f 'peak %M' env QT_QPA_PLATFORM=offscreen "$bench" "$@" 2>&1 |
    awk '/thumbnails in/ { ms = $(NF - 3) } /non-zero status/ { ms = ms "!" } /^peak / { kb = $2 }
         END { printf "%s %.1f\n", ms, kb / 1024 }'
}

echo "cores: $(nproc); load: $(cut -d' ' -f1 /proc/loadavg); 640 x 480 JPEGs, 100-pixel thumbnails"
printf '%8s  %20s  %20s  %20s  %8s\n' pictures "first (ms, MB)" "cached (ms, MB)" "no cache (ms, MB)" first/cached
for count in $counts; do
  folder=$photos/$count
  if [ "$(find "$folder" -maxdepth 1 -name '*.jpg' 2>/dev/null | wc -l)" -ne "$count" ]; then
    rm -rf "$folder"
    mkdir -p "$folder"
    find "$photos/all" -maxdepth 1 -name '*.jpg' | sort | head -n "$count" | xargs -r ln -t "$folder"
  fi
  rm -rf "$work/cache"
  read -r first_ms first_mb < <(open_folder "$folder" --count "$count" --cache "$work/cache")
  read -r cached_ms cached_mb < <(open_folder "$folder" --count "$count" --cache "$work/cache")
  read -r plain_ms plain_mb < <(open_folder "$folder" --count "$count")
  ratio=$(awk -v a="$first_ms" -v b="$cached_ms" 'BEGIN { printf "%.1fx", a / (b > 0 ? b : 1) }')
  printf '%8d  %11s %8s  %11s %8s  %11s %8s  %8s\n' "$count" "$first_ms" "$first_mb" "$cached_ms" "$cached_mb" \
    "$plain_ms" "$plain_mb" "$ratio"
done
